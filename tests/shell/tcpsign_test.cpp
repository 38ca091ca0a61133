// The designer sends to a sign behind a serial server: the port named tcp:127.0.0.1:PORT.
#include "shelltesting.h"
#include "simprocess.h"
#include "unitappsettings.h"
#include "unitformsender.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

using namespace pixbar;
using namespace pixbar::testing;

namespace {

class DesignerOverTcp : public DesignerFolder {};

TEST_F(DesignerOverTcp, MessageReachesTheSignAndALostServerEndsTheNextOneAsASilentSign) {
    SimProcess sim(Line::Tcp);
    ASSERT_TRUE(sim.ready());
    writeConfig(sim.portName().toStdString() + "\n90\n2\n12\n8\n8\n4660\n");
    TForm1& f = openForm();
    f.show();
    ASSERT_EQ(QString::fromStdString(f.settings().portName), sim.portName());
    f.showPage(3);
    for (char c : std::string("Hala 2")) f.currentEditor()->keyPress(std::uint8_t(c));
    const std::vector<std::uint8_t> record(f.currentEditor()->record().bytes.begin(),
                                           f.currentEditor()->record().bytes.end());

    f.WyslijKomunikatClick();
    EXPECT_EQ(f.statusText(), QStringLiteral("Komunikat został wysłany."));
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
    EXPECT_EQ(sim.state("slot3.kom"), record);
    EXPECT_EQ(sim.frames(), 8);

    // The server goes away between two blocks: the command ends as with a silent sign, and
    // the window is usable again.
    QTimer::singleShot(300, [&] { sim.kill9(); });
    f.showPage(4);
    f.WyslijKomunikatClick();
    EXPECT_EQ(prompts.errors,
              QStringList{QStringLiteral("Nie mogę wysłać komunikatu do linijki!")});
    EXPECT_GT(sim.frames(), 8);
    EXPECT_LT(sim.frames(), 16);
    EXPECT_TRUE(f.isEnabled());
    EXPECT_FALSE(f.senderPopup().isVisible());
}

TEST_F(DesignerOverTcp, SearchTriesTheTypedAddressFirstAndKeepsIt) {
    SimProcess sim(Line::Tcp, {"--width", "16", "--height", "16"});
    ASSERT_TRUE(sim.ready());
    writeConfig("COM1\n90\n2\n12\n8\n8\n1\n");
    openForm();
    TFormAppSettings& w = form->appSettings();
    w.FormShow();
    w.ComboBoxCOM->setEditText(sim.portName());
    w.CategoryButtons1Categories0Items2Click();
    const QStringList lines = w.Memo1->toPlainText().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.value(0), QStringLiteral("Szukam na porcie ") + sim.portName());
    EXPECT_EQ(lines.value(2), QStringLiteral("Port: ") + sim.portName());
    EXPECT_EQ(lines.value(3), QStringLiteral("Numer seryjny: 4660"));
    EXPECT_EQ(w.ComboBoxCOM->currentText(), sim.portName());
    EXPECT_EQ(w.ScrollBar1->value(), 16);
    EXPECT_TRUE(w.RadioButton2->isChecked());
    // The list offers the machine's COM ports only; the address is in the box and in ld.cfg.
    for (int i = 0; i < w.ComboBoxCOM->count(); ++i)
        EXPECT_TRUE(w.ComboBoxCOM->itemText(i).startsWith(QStringLiteral("COM")));
    EXPECT_EQ(readFile(dir / "ld.cfg"), sim.portName().toStdString() + "\n90\n2\n12\n8\n8\n1\n");
    EXPECT_EQ(sim.frames(), 2);
}

} // namespace
