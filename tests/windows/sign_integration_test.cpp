// Both windows against the simulated sign on a real pseudo-terminal.
#include "categorybuttons.h"
#include "unitautosync.h"
#include "unitstopwatch.h"
#include "windowtesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

extern char** environ;

namespace pixbar {
namespace {

using namespace pixbar::testing;

constexpr std::uint16_t kSerial = 321;

/// One pixbar-sign-sim on COM7 of its own ports folder, stopped in the destructor.
class SimulatedSign {
public:
    SimulatedSign() {
        std::vector<std::string> args = {std::string(PIXBAR_BIN_DIR) + "/pixbar-sign-sim",
                                         "--ports-dir",
                                         ports().toStdString(),
                                         "--com",
                                         "7",
                                         "--serial",
                                         std::to_string(kSerial),
                                         "--state-dir",
                                         state().toStdString()};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) m_pid = -1;
        const QString link = QDir(ports()).filePath(QStringLiteral("COM7"));
        for (int i = 0; i < 1000 && m_pid > 0 && !QFileInfo(link).exists(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        m_ready = m_pid > 0 && QFileInfo(link).exists();
        m_protocol.port().setPortsDirectory(ports());
    }
    ~SimulatedSign() {
        m_protocol.Close();
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 300; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    SimulatedSign(const SimulatedSign&) = delete;
    SimulatedSign& operator=(const SimulatedSign&) = delete;

    bool ready() const { return m_ready; }
    QString ports() const { return m_dir.filePath(QStringLiteral("ports")); }
    QString state() const { return m_dir.filePath(QStringLiteral("state")); }
    std::string stored(const char* name) const {
        QFile f(QDir(state()).filePath(QString::fromLatin1(name)));
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }
    ProtocolSource protocol() {
        return [this]() -> ComProtocol& { return m_protocol; };
    }
    static TargetSource target() {
        return [] { return SignTarget{QStringLiteral("COM7"), kSerial}; };
    }

private:
    QTemporaryDir m_dir;
    ComProtocol m_protocol;
    pid_t m_pid = -1;
    bool m_ready = false;
};

TEST(WindowsOnTheSimulatedSign, StopwatchTimeTextAndStoredMessageReachTheSign) {
    SimulatedSign sign;
    ASSERT_TRUE(sign.ready());
    ScriptedPrompts prompts;
    ManualTickCount ticks;
    TFormStopwatch form(sign.protocol(), SimulatedSign::target(), prompts, ticks);
    ShowActive(&form);
    ASSERT_TRUE(form.isVisible());

    TypeKey(&form, Qt::Key_Space, QStringLiteral(" "));
    ticks.advance(65000);
    TypeKey(&form, Qt::Key_Space, QStringLiteral(" "));
    EXPECT_EQ(form.displayColour(), QColor(255, 255, 0)); // every send was taken
    EXPECT_EQ(sign.stored("slot9.txt"), "\\E0200:01:05");

    form.EditFastMsg->setText(QStringLiteral("Przerwa śniadaniowa"));
    form.CategoryButtons1Categories0Items2Click();
    EXPECT_EQ(sign.stored("slot9.txt"), "Przerwa \x9c"
                                        "niadaniowa"); // code page 1250
    form.PopupMenuShowMsgNo->actions()[2]->trigger();
    EXPECT_EQ(sign.stored("shown.txt"), "3\n");
    EXPECT_TRUE(prompts.errors.isEmpty()) << prompts.errors.join('|').toStdString();
    form.CategoryButtons1Categories0Items4Click();
}

TEST(WindowsOnTheSimulatedSign, FileSyncSetsTheClockStoresTheLineAndClearsOnLeaving) {
    SimulatedSign sign;
    ASSERT_TRUE(sign.ready());
    QTemporaryDir dir;
    const std::filesystem::path data = dir.filePath(QStringLiteral("dane.txt")).toStdString();
    std::ofstream(data, std::ios::binary) << "0 3 Kurs EUR 4,32\r\n1 1 druga\n";
    ScriptedPrompts prompts;
    TForm3 form(sign.protocol(), SimulatedSign::target(), prompts,
                dir.filePath(QStringLiteral("as.cfg")).toStdString());
    form.EditPlik->setText(QString::fromStdString(data.string()));
    ShowActive(&form);
    ASSERT_TRUE(form.session().active()) << form.LabelStatus->text().toStdString();
    EXPECT_EQ(sign.stored("clock.txt").size(), 20u);

    form.TimerSynchroTimer();
    EXPECT_EQ(form.LabelStatus->text(), QStringLiteral("STATUS:OK"));
    std::string expected(kRecordSize, '\0');
    const std::string text = "Kurs EUR 4,32 ";
    for (std::size_t i = 0; i < text.size(); ++i) {
        expected[2 * i] = 3;
        expected[2 * i + 1] = text[i];
    }
    expected[kKindOffset] = 1;
    EXPECT_EQ(sign.stored("slot9.kom"), expected);

    form.CategoryButtons1Categories0Items1Click();
    EXPECT_EQ(sign.stored("slot9.kom"), std::string(kRecordSize, '\0'));
}

} // namespace
} // namespace pixbar
