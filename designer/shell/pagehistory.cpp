#include "pagehistory.h"

#include "cellrange.h"
#include "drawgrid.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QUndoStack>

namespace pixbar {

EditStepCommand::EditStepCommand(MessageContainer& editor, EditStep step)
    : m_editor(editor), m_step(std::move(step)) {}

void EditStepCommand::undo() {
    UndoStep(m_editor, m_step);
}

void EditStepCommand::redo() {
    if (m_done) {
        m_done = false;
        return;
    }
    RedoStep(m_editor, m_step);
}

PageStep::PageStep(DrawGrid& grid) : m_grid(grid), m_step(BeginStep(*grid.editor())) {}

PageStep::~PageStep() {
    if (FinishStep(*m_grid.editor(), m_step))
        m_grid.history().push(new EditStepCommand(*m_grid.editor(), std::move(m_step)));
}

void CopyCells(const DrawGrid& grid) {
    if (!grid.hasSelection()) return;
    const MessageRecord& record = grid.editor()->record();
    const std::vector<std::uint8_t> bytes = EncodeCells(record, grid.selection());
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kCellsMimeType),
                  QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    const std::vector<Cell> cells = DecodeCells(bytes);
    QStringDecoder decode("windows-1250");
    mime->setText(decode(QByteArray::fromStdString(TextOfCells(cells))));
    QApplication::clipboard()->setMimeData(mime);
}

void CutCells(DrawGrid& grid) {
    if (!grid.hasSelection()) return;
    CopyCells(grid);
    const PageStep step(grid);
    RemoveCells(*grid.editor(), grid.selection());
}

QString PasteClipboard(DrawGrid& grid, const QMimeData* clipboard) {
    MessageContainer& editor = *grid.editor();
    const PageStep step(grid);
    const QString format = QString::fromLatin1(kCellsMimeType);
    if (clipboard && clipboard->hasFormat(format)) {
        const QByteArray data = clipboard->data(format);
        const std::vector<Cell> cells = DecodeCells(std::span(
            reinterpret_cast<const std::uint8_t*>(data.constData()), std::size_t(data.size())));
        if (cells.empty()) return {};
        if (grid.hasSelection()) RemoveCells(editor, grid.selection());
        const PasteResult result = PasteCells(editor, cells);
        if (result.refused)
            return QStringLiteral("Nie wklejono: kursor stoi na drugiej komórce efektu lub pauzy.");
        if (result.dropped > 0)
            return QStringLiteral(
                       "Wklejono %1 z %2 komórek: reszta nie zmieściła się w komunikacie.")
                .arg(result.inserted)
                .arg(result.inserted + result.dropped);
        return {};
    }
    // Text goes in as code page 1250 bytes, each one typed at the cursor.
    QStringEncoder encode("windows-1250");
    const QByteArray bytes = encode(clipboard ? clipboard->text() : QString());
    if (bytes.isEmpty()) return {};
    if (grid.hasSelection()) RemoveCells(editor, grid.selection());
    for (char c : bytes) editor.keyPress(static_cast<std::uint8_t>(c));
    return {};
}

} // namespace pixbar
