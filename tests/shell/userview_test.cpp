// What a user sees of the windows: captions, disabled buttons, the main window's size.
#include "applicationlook.h"
#include "categorybuttons.h"
#include "drawgrid.h"
#include "shelltesting.h"
#include "unitpixbar4designer.h"
#include "unitpixbarsettings.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>

#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using namespace pixbar;
using namespace pixbar::testing;

namespace {

QAbstractButton* button(CategoryButtons& panel, const QString& caption) {
    for (QAbstractButton* b : panel.findChildren<QAbstractButton*>())
        if (b->text() == caption) return b;
    return nullptr;
}

/// First column of the caption's ink (dark pixels) in the upper half of the button, above
/// where an access key's underline goes.
int firstInkColumn(QAbstractButton& b) {
    const QImage image = b.grab().toImage();
    for (int x = 0; x < image.width(); ++x)
        for (int y = 2; y < image.height() / 2; ++y)
            if (qGray(image.pixel(x, y)) < 80) return x;
    return -1;
}

class UserView : public DesignerFolder {};

} // namespace

TEST_F(UserView, SignSettingsCaptionsShowTheirSlidersFromTheStart) {
    // No ld.cfg, then each saved line; the brightness default is the slider's 90.
    for (const char* cfg : {"", "COM1\n90\n2\n12\n8\n8\n1\n", "COM1\n37\n9\n134\n8\n8\n1\n"}) {
        SCOPED_TRACE(cfg);
        if (*cfg) writeConfig(cfg);
        openForm();
        TFormPixbarSettings& w = form->pixbarSettings();
        EXPECT_EQ(w.LabelBrightness->text(),
                  QStringLiteral("Jasność: %1%").arg(w.ScrollBarBrightness->value()));
        EXPECT_EQ(w.LabelSpeed->text(),
                  QStringLiteral("Prędkość przesuwu: %1").arg(w.ScrollBarSpeed->value()));
        EXPECT_EQ(form->signConfig()[1], w.ScrollBarBrightness->value());
    }
    EXPECT_EQ(form->pixbarSettings().LabelBrightness->text(), QStringLiteral("Jasność: 37%"));
}

TEST_F(UserView, AnAccessKeyIsShownAsOneNotAsAnAmpersand) {
    CategoryButtons panel;
    const int g = panel.addGroup(QStringLiteral("Akcje:"));
    panel.addItem(g, QStringLiteral("&Zamknij okno"), {});
    panel.addItem(g, QStringLiteral("Zamknij okno"), {});
    panel.resize(150, 120);
    panel.show();
    QAbstractButton* keyed = button(panel, QStringLiteral("&Zamknij okno"));
    QAbstractButton* plain = button(panel, QStringLiteral("Zamknij okno"));
    ASSERT_TRUE(keyed && plain);
    // The caption starts with the Z in both: no "&" is drawn before it.
    EXPECT_GT(firstInkColumn(*plain), 0);
    EXPECT_EQ(firstInkColumn(*keyed), firstInkColumn(*plain));
    EXPECT_FALSE(keyed->shortcut().isEmpty());
}

TEST_F(UserView, ADisabledButtonLooksDisabledEvenUnderTheMouse) {
    QWidget window;
    auto* panel = new CategoryButtons(&window);
    const int g = panel->addGroup(QStringLiteral("Akcje:"));
    panel->addItem(g, QStringLiteral("Zakończ"), {});
    panel->resize(150, 80);
    window.resize(150, 80);
    window.show();
    QAbstractButton* b = button(*panel, QStringLiteral("Zakończ"));
    ASSERT_TRUE(b);
    const QImage enabled = b->grab().toImage();
    b->setAttribute(Qt::WA_UnderMouse, true);
    const QImage hot = b->grab().toImage();
    EXPECT_NE(hot, enabled);

    // The button itself disabled, or the window it is in (as the main window during a
    // transfer): the same look, hover or not, and not the enabled one.
    for (QWidget* off : {static_cast<QWidget*>(b), static_cast<QWidget*>(&window)}) {
        off->setEnabled(false);
        b->setAttribute(Qt::WA_UnderMouse, true);
        const QImage disabledHot = b->grab().toImage();
        b->setAttribute(Qt::WA_UnderMouse, false);
        const QImage disabled = b->grab().toImage();
        EXPECT_EQ(disabledHot, disabled);
        EXPECT_NE(disabled, enabled);
        off->setEnabled(true);
    }
}

TEST_F(UserView, AfterARefusalTypingGoesOnInTheGrid) {
    openForm();
    form->show();
    form->showPage(3);
    int tall = 0;
    for (int f = 1; f <= 12 && !tall; ++f)
        if (form->emulator().glyphs.table()[std::size_t(f - 1)].height > 8) tall = f;
    ASSERT_GT(tall, 0);
    const std::vector<std::pair<const char*, std::function<void()>>> refusals = {
        {"font", [&] { form->fontButtonClick(tall); }},
        {"kind button", [&] { form->CategoryButtons1Categories5Items0Click(); }},
    };
    for (const auto& [name, refuse] : refusals) {
        SCOPED_TRACE(name);
        form->categoryButtons().setFocus();
        prompts.errors.clear();
        refuse();
        EXPECT_EQ(prompts.errors.size(), 1);
        EXPECT_EQ(form->focusWidget(), &form->grid(3));
    }
}

TEST_F(UserView, TheMainWindowHasItsClientAreaInTheMiddleOfTheDesktop) {
    openForm();
    form->show();
    const int menu = form->menuBar()->height();
    EXPECT_EQ(form->width(), 960);
    EXPECT_EQ(form->height() - menu, 644);
    // The status bar closes the client area: no strip is left between the pages and it.
    EXPECT_EQ(form->statusBar()->geometry().bottom(), form->height() - 1);
    const QRect desktop = form->screen()->availableGeometry();
    EXPECT_LE(std::abs(form->geometry().center().x() - desktop.center().x()), 2);
    EXPECT_LE(std::abs(form->geometry().center().y() - desktop.center().y()), 2);
}

TEST_F(UserView, QtsOwnTextsArePolishAndTheFontIsTahoma) {
    ASSERT_TRUE(InstallPolishQtTexts(*qApp)) << "qt6-translations-l10n is not installed";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Anuluj"));
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Szukaj w:"));
    const QFont font = InterfaceFont();
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Tahoma")) << "fonts-wine is not installed";
}
