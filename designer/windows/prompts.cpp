#include "prompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace pixbar {

namespace {

QString runFileDialog(QFileDialog::AcceptMode mode, const QString& filter, const QString& suffix,
                      const QString& folder, const QString& title = QString()) {
    QFileDialog dialog(nullptr, title, folder, filter);
    dialog.setAcceptMode(mode);
    dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                       : QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace

void QtPrompts::error(const QString& text) {
    QMessageBox::critical(nullptr, QStringLiteral("Błąd"), text, QMessageBox::Ok);
}

bool QtPrompts::question(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Pytanie"), text,
                    QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Tak"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Nie"));
    return box.exec() == QMessageBox::Yes;
}

QString QtPrompts::openFile(const QString& filter, const QString& defaultSuffix,
                            const QString& folder) {
    return runFileDialog(QFileDialog::AcceptOpen, filter, defaultSuffix, folder);
}

QString QtPrompts::openPicture(const QString& title, const QString& filter, const QString& folder) {
    return runFileDialog(QFileDialog::AcceptOpen, filter, QString(), folder, title);
}

QString QtPrompts::saveFile(const QString& filter, const QString& defaultSuffix) {
    return runFileDialog(QFileDialog::AcceptSave, filter, defaultSuffix, QString());
}

} // namespace pixbar
