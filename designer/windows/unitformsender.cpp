#include "unitformsender.h"

#include <QLabel>
#include <QVBoxLayout>

namespace pixbar {

TFormSenderPopup::TFormSenderPopup(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("FormSenderPopup"));
    setWindowTitle(QStringLiteral("Komunikacja"));
    setFixedSize(513, 44);
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(77, 77, 77));
    p.setColor(QPalette::WindowText, QColor(0, 255, 255));
    setPalette(p);
    LabelDescription = new QLabel(QStringLiteral("Wysyłam "), this);
    QFont f(QStringLiteral("Tahoma"));
    f.setPixelSize(19);
    LabelDescription->setFont(f);
    LabelDescription->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelDescription);
}

} // namespace pixbar
