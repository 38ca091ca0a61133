#include "drawgrid.h"
#include "pagehistory.h"
#include "shelltesting.h"
#include "unitpixbar4designer.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QUndoGroup>
#include <QUrl>

#include <gtest/gtest.h>

using namespace pixbar;
using namespace pixbar::testing;
namespace fs = std::filesystem;

namespace {

class PageHistory : public DesignerFolder {
protected:
    /// The item of "&Edycja" that a shortcut starts.
    QAction* editAction(const QKeySequence& keys) {
        for (QAction* a : editMenu()->actions())
            if (a->shortcuts().contains(keys)) return a;
        ADD_FAILURE() << "no item for " << keys.toString().toStdString();
        return nullptr;
    }
    QMenu* editMenu() {
        for (QAction* a : form->menuBar()->actions())
            if (a->text() == QStringLiteral("&Edycja")) return a->menu();
        return nullptr;
    }
    void press(int n, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               const QString& text = {}) {
        QKeyEvent event(QEvent::KeyPress, key, modifiers, text);
        QApplication::sendEvent(&form->grid(n), &event);
    }
    void type(int n, const QString& text) {
        for (QChar c : text) press(n, Qt::Key_unknown, Qt::NoModifier, QString(c));
    }
    void trigger(const QKeySequence& keys) {
        if (QAction* a = editAction(keys)) a->trigger();
    }
    QString path(const char* name) { return QString::fromStdString((dir / name).string()); }

    const QKeySequence undo{Qt::CTRL | Qt::Key_Z};
    const QKeySequence redo{Qt::CTRL | Qt::Key_Y};
    const QKeySequence cut{Qt::CTRL | Qt::Key_X};
    const QKeySequence copy{Qt::CTRL | Qt::Key_C};
    const QKeySequence paste{Qt::CTRL | Qt::Key_V};
};

} // namespace

TEST_F(PageHistory, EditMenuItemsFollowTheHistoryOfTheShownPage) {
    TForm1& f = openForm();
    QStringList captions;
    for (QAction* a : editMenu()->actions()) captions << a->text();
    EXPECT_EQ(captions, (QStringList{"&Cofnij", "&Ponów", "", "Wy&tnij", "K&opiuj",
                                     "&Wklej tekst ze schowka", "S&kasuj bieżący komunikat"}));
    EXPECT_TRUE(editAction(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)) == editAction(redo));
    QAction* u = editAction(undo);
    QAction* r = editAction(redo);
    ASSERT_TRUE(u && r);
    EXPECT_FALSE(u->isEnabled());
    EXPECT_FALSE(r->isEnabled());
    EXPECT_FALSE(editAction(cut)->isEnabled()); // nothing selected

    type(1, "A");
    EXPECT_TRUE(u->isEnabled());
    EXPECT_FALSE(r->isEnabled());
    u->trigger();
    EXPECT_FALSE(u->isEnabled());
    EXPECT_TRUE(r->isEnabled());
    f.showPage(2); // page 2 has its own, empty history
    EXPECT_FALSE(u->isEnabled());
    EXPECT_FALSE(r->isEnabled());
    f.showPage(1);
    EXPECT_TRUE(r->isEnabled());
    r->trigger();
    EXPECT_EQ(f.editor(1).record().cell(0), (Cell{3, 'A'}));
    // Moving the cursor and choosing a font are no steps.
    press(1, Qt::Key_Left);
    f.fontButtonClick(2);
    EXPECT_EQ(f.undoGroup().activeStack()->count(), 1);

    press(1, Qt::Key_Left, Qt::ShiftModifier);
    EXPECT_FALSE(f.grid(1).hasSelection()); // nothing before cell 0
    press(1, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_TRUE(editAction(cut)->isEnabled());
    EXPECT_TRUE(editAction(copy)->isEnabled());
}

TEST_F(PageHistory, CtrlZTakesBackTypingClearingAndALoadedSet) {
    TForm1& f = openForm();
    type(1, "AB");
    trigger(undo);
    const MessageRecord& r = f.editor(1).record();
    EXPECT_EQ(r.end(), 1);
    EXPECT_EQ(f.grid(1).col(), 1); // where the B went in

    type(1, "CD");
    f.insertEffect(EffectCode::Pixels);
    const MessageRecord typed = r;
    prompts.answers = {true};
    f.SkasujKomunikatClick();
    EXPECT_EQ(r, MessageRecord{});
    trigger(undo);
    EXPECT_EQ(r, typed);
    EXPECT_EQ(f.grid(1).col(), 5);
    EXPECT_EQ(f.editor(1).currentFont(), 4); // the font is not part of the history

    // A set changes pages 1 and 3 only: one step on each.
    MessageSetRecords set{};
    set[0] = typed;
    set[2].setCell(0, {2, 'S'});
    set[2].setKind(1);
    std::vector<std::uint8_t> bytes;
    for (const MessageRecord& m : set) bytes.insert(bytes.end(), m.bytes.begin(), m.bytes.end());
    set[0].setCell(0, {3, 'X'});
    bytes[1] = 'X';
    writeBytes(dir / "set.kzb", bytes);
    prompts.files = {path("set.kzb")};
    f.WczytajZestawKomunikatowClick();
    EXPECT_EQ(f.editor(1).record(), set[0]);
    EXPECT_EQ(f.grid(2).history().count(), 0);
    f.showPage(3);
    EXPECT_EQ(f.kindCaption(), QStringLiteral("Rodaj komunikatu: górny"));
    trigger(undo);
    EXPECT_EQ(f.editor(3).record(), MessageRecord{});
    EXPECT_EQ(f.kindCaption(), QStringLiteral("Rodaj komunikatu: pojedyńczy"));
    EXPECT_EQ(f.editor(1).record(), set[0]); // page 1 keeps its own step
    f.showPage(1);
    trigger(undo);
    EXPECT_EQ(f.editor(1).record(), typed);
}

TEST_F(PageHistory, CutEffectAndFieldFromPageOnePasteIntoPageTwoAndSave) {
    TForm1& f = openForm();
    type(1, "A");
    f.insertEffect(EffectCode::BlindFromTop);
    type(1, "B");
    f.WstawCzasClick();
    type(1, "C");
    // From behind the A: Shift+Right takes the pair at once, then the B and the time field.
    f.grid(1).selectCell(1, 0);
    for (int i = 0; i < 3; ++i) press(1, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(f.grid(1).selection(), (CellRange{1, 4}));
    trigger(cut);
    const MessageRecord& page1 = f.editor(1).record();
    EXPECT_EQ(page1.end(), 2);
    EXPECT_EQ(page1.cell(1), (Cell{3, 'C'}));
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(clip->hasFormat(kCellsMimeType));
    EXPECT_EQ(clip->text(), QStringLiteral("B"));

    f.showPage(2);
    type(2, "xy");
    press(2, Qt::Key_Left);
    trigger(paste);
    prompts.files = {path("out.kzb")};
    f.ZapiszZestawKomunikatowClick();
    std::string want(8192, '\0');
    const std::uint8_t page1Bytes[] = {3, 'A', 3, 'C'};
    const std::uint8_t page2Bytes[] = {3, 'x', 0xF0, 0x10, 6, 0x01, 3, 'B', 0x13, 0xFF, 3, 'y'};
    std::copy(std::begin(page1Bytes), std::end(page1Bytes), want.begin());
    std::copy(std::begin(page2Bytes), std::end(page2Bytes), want.begin() + 1024);
    EXPECT_EQ(readFile(dir / "out.kzb"), want);
    EXPECT_EQ(f.grid(2).col(), 5);

    // Typing over a selection replaces it, as one step; pasting on a parameter cell is refused.
    f.grid(2).selectCells(1, 4);
    type(2, "z");
    EXPECT_EQ(f.editor(2).record().end(), 4);
    EXPECT_EQ(f.editor(2).record().cell(1), (Cell{3, 'z'}));
    trigger(undo);
    EXPECT_EQ(f.editor(2).record().cell(1), (Cell{0xF0, 0x10}));
    f.grid(2).selectCell(2, 0);
    trigger(paste);
    EXPECT_EQ(f.statusText(),
              QStringLiteral("Nie wklejono: kursor stoi na drugiej komórce efektu lub pauzy."));
    EXPECT_EQ(f.editor(2).record().end(), 6);
}

TEST_F(PageHistory, DraggingSelectsAcrossRowsAndStopsAtTheEnd) {
    TForm1& f = openForm();
    f.resize(960, 700);
    f.show();
    type(1, QString(40, QChar('k')));
    DrawGrid& g = f.grid(1);
    const auto at = [&](int cell) {
        return QPointF((cell % 32) * DrawGrid::kColumnWidth + 5,
                       (cell / 32) * DrawGrid::kRowHeight + 5);
    };
    QMouseEvent down(QEvent::MouseButtonPress, at(30), at(30), Qt::LeftButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &down);
    QMouseEvent move(QEvent::MouseMove, at(33), at(33), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &move);
    EXPECT_EQ(g.selection(), (CellRange{30, 4}));
    QMouseEvent far(QEvent::MouseMove, at(70), at(70), Qt::NoButton, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &far);
    EXPECT_EQ(g.selection(), (CellRange{30, 10}));
    QMouseEvent up(QEvent::MouseButtonRelease, at(70), at(70), Qt::LeftButton, Qt::NoButton,
                   Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &up);
    press(1, Qt::Key_Delete);
    EXPECT_EQ(f.editor(1).record().end(), 30);
    EXPECT_FALSE(g.hasSelection());

    // A click, then Shift and a click: from the cursor up to the clicked cell.
    QMouseEvent click(QEvent::MouseButtonPress, at(2), at(2), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(g.viewport(), &click);
    QMouseEvent shiftClick(QEvent::MouseButtonPress, at(5), at(5), Qt::LeftButton, Qt::LeftButton,
                           Qt::ShiftModifier);
    QApplication::sendEvent(g.viewport(), &shiftClick);
    EXPECT_EQ(g.selection(), (CellRange{2, 4}));
}

TEST_F(PageHistory, DroppedFilesLoadLikeTheLoadCommands) {
    MessageRecord message;
    message.setCell(0, {5, 'M'});
    writeBytes(dir / "one.kom",
               std::vector<std::uint8_t>(message.bytes.begin(), message.bytes.end()));
    writeBytes(dir / "bad.kzb", std::vector<std::uint8_t>(100, 1));
    TForm1& f = openForm();
    f.showPage(4);
    const auto drop = [&](const char* name) {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path(name))});
        QDragEnterEvent enter(QPoint(300, 400), Qt::CopyAction, &mime, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(&f, &enter);
        if (!enter.isAccepted()) return false;
        QDropEvent dropped(QPointF(300, 400), Qt::CopyAction, &mime, Qt::LeftButton,
                           Qt::NoModifier);
        QApplication::sendEvent(&f, &dropped);
        return true;
    };
    EXPECT_FALSE(drop("notes.txt"));
    EXPECT_TRUE(drop("one.kom"));
    EXPECT_EQ(f.editor(4).record(), message);
    trigger(undo);
    EXPECT_EQ(f.editor(4).record(), MessageRecord{});

    EXPECT_TRUE(drop("bad.kzb"));
    ASSERT_EQ(prompts.errors.size(), 1);
    prompts.files = {path("bad.kzb")};
    f.WczytajZestawKomunikatowClick();
    ASSERT_EQ(prompts.errors.size(), 2);
    EXPECT_EQ(prompts.errors[0], prompts.errors[1]);
    for (int n = 1; n <= 8; ++n) EXPECT_EQ(f.grid(n).history().count(), n == 4 ? 1 : 0);
}
