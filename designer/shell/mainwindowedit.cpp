// Undo and redo of the message pages, the cell clipboard and message files dropped on the
// main window.
#include "unitpixbar4designer.h"

#include "categorybuttons.h"
#include "drawgrid.h"
#include "pagehistory.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QTabWidget>
#include <QUndoGroup>
#include <QUrl>

namespace pixbar {

namespace {

enum class DroppedFile { None, Message, MessageSet };

DroppedFile kindOfFile(const QString& file) {
    const QString suffix = QFileInfo(file).suffix().toLower();
    if (suffix == QLatin1String("kom")) return DroppedFile::Message;
    if (suffix == QLatin1String("kzb")) return DroppedFile::MessageSet;
    return DroppedFile::None;
}

/// The first local message or message set file among the dropped ones.
QString droppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return {};
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile() && kindOfFile(url.toLocalFile()) != DroppedFile::None)
            return url.toLocalFile();
    return {};
}

} // namespace

void TForm1::buildEditing() {
    m_undoGroup = std::make_unique<QUndoGroup>();
    for (DrawGrid* g : m_grids) {
        m_undoGroup->addStack(&g->history());
        connect(g, &DrawGrid::selectionChanged, this, &TForm1::updateClipboardActions);
    }
    m_undoGroup->setActiveStack(&m_grids[0]->history());
    connect(m_pages, &QTabWidget::currentChanged, this, [this](int index) {
        m_undoGroup->setActiveStack(&m_grids[std::size_t(index)]->history());
        updateClipboardActions();
    });
    // Undo may bring back another message kind.
    connect(m_undoGroup.get(), &QUndoGroup::indexChanged, this, [this] { updateKindCaption(); });

    auto* undo = new QAction(QStringLiteral("&Cofnij"), this);
    undo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    undo->setEnabled(false);
    connect(m_undoGroup.get(), &QUndoGroup::canUndoChanged, undo, &QAction::setEnabled);
    connect(undo, &QAction::triggered, this, &TForm1::CofnijClick);
    auto* redo = new QAction(QStringLiteral("&Ponów"), this);
    redo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    redo->setEnabled(false);
    connect(m_undoGroup.get(), &QUndoGroup::canRedoChanged, redo, &QAction::setEnabled);
    connect(redo, &QAction::triggered, this, &TForm1::PonowClick);
    m_cutAction = new QAction(QStringLiteral("Wy&tnij"), this);
    m_cutAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));
    connect(m_cutAction, &QAction::triggered, this, &TForm1::WytnijClick);
    m_copyAction = new QAction(QStringLiteral("K&opiuj"), this);
    m_copyAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    connect(m_copyAction, &QAction::triggered, this, &TForm1::KopiujClick);
    updateClipboardActions();

    // Before the menu's own items.
    QAction* first = m_editMenu->actions().value(0);
    m_editMenu->insertActions(first, {undo, redo});
    m_editMenu->insertSeparator(first);
    m_editMenu->insertActions(first, {m_cutAction, m_copyAction});

    setAcceptDrops(true);
}

void TForm1::updateClipboardActions() {
    const bool selected = m_grids[std::size_t(m_messageNumber - 1)]->hasSelection();
    m_cutAction->setEnabled(selected);
    m_copyAction->setEnabled(selected);
}

void TForm1::CofnijClick() {
    m_undoGroup->undo();
    repaintCurrentGrid();
}

void TForm1::PonowClick() {
    m_undoGroup->redo();
    repaintCurrentGrid();
}

void TForm1::WytnijClick() {
    CutCells(grid(m_messageNumber));
}

void TForm1::KopiujClick() {
    CopyCells(grid(m_messageNumber));
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    const QString file = droppedFile(event->mimeData());
    if (file.isEmpty()) return;
    event->acceptProposedAction();
    if (kindOfFile(file) == DroppedFile::Message)
        loadMessageFile(file);
    else
        loadMessageSetFile(file);
}

} // namespace pixbar
