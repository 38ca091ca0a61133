// The face of pixbar-sign-sim --show on a private X server, compared with pixbarctl render.
#include "player_fixture.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using pixbar::MessageRecord;
using playertest::Message;
using playertest::TempDir;

const std::string kBinDir = PIXBAR_BIN_DIR;
constexpr std::uint32_t kLedOnColour = 0xFF2F2F;
constexpr std::uint32_t kLedOffColour = 0x2F2F2F;

/// A child process, ended with SIGTERM (then SIGKILL) when the test is over.
class Child {
public:
    Child(std::vector<std::string> args, const std::vector<std::string>& env,
          posix_spawn_file_actions_t* actions = nullptr) {
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> vars(env);
        for (char** e = environ; *e; ++e) vars.push_back(*e);
        std::vector<char*> envp;
        for (auto& v : vars) envp.push_back(v.data());
        envp.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], actions, nullptr, argv.data(), envp.data()) != 0)
            m_pid = -1;
    }
    ~Child() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 500; ++i) {
            if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) return;
            std::this_thread::sleep_for(10ms);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    bool started() const { return m_pid > 0; }

private:
    pid_t m_pid = -1;
};

/// An X server of our own; the display number is the one it picked as free.
std::unique_ptr<Child> startDisplay(int& display) {
    int fds[2];
    if (pipe(fds) != 0) return nullptr;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    auto server = std::make_unique<Child>(
        std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen",
                                 "0", "1024x768x24", "-nolisten", "tcp"},
        std::vector<std::string>{}, &actions);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string number;
    char c = 0;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    display = number.empty() ? -1 : std::stoi(number);
    return server;
}

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// The rectangle of LED-coloured pixels on the screen.
QRect ledArea(const QImage& screen) {
    int left = screen.width(), top = screen.height(), right = -1, bottom = -1;
    for (int y = 0; y < screen.height(); ++y)
        for (int x = 0; x < screen.width(); ++x) {
            const std::uint32_t c = screen.pixel(x, y) & 0xFFFFFF;
            if (c != kLedOnColour && c != kLedOffColour) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    return right < 0 ? QRect() : QRect(left, top, right - left + 1, bottom - top + 1);
}

} // namespace

TEST(SignFaceWindow, ShowsTheSentMessageAtTheTickItHasReached) {
    int display = -1;
    const auto server = startDisplay(display);
    ASSERT_GE(display, 0) << "Xvfb did not start";
    const std::string displayName = ":" + std::to_string(display);

    TempDir dir;
    const std::string folder = dir.path().string();
    const MessageRecord message = Message().text(2, "PROMOCJA -50% ");
    playertest::writeFile(dir.path() / "m.kom",
                          std::vector<std::uint8_t>(message.bytes.begin(), message.bytes.end()));
    // The sign's fonts come from beside the program, as they do for the designer's data.
    Child sign({kBinDir + "/pixbar-sign-sim", "--ports-dir", folder + "/ports", "--com", "7",
                "--serial", "4660", "--width", "12", "--height", "16", "--log", folder + "/sim.log",
                "--show"},
               {"DISPLAY=" + displayName, "QT_QPA_PLATFORM=xcb"});
    ASSERT_TRUE(sign.started());
    for (int i = 0; i < 1000 && !std::filesystem::exists(dir.path() / "ports/COM7"); ++i)
        std::this_thread::sleep_for(10ms);
    const std::string ctl = "cd '" + folder + "' && '" + kBinDir +
                            "/pixbarctl' --ports-dir ports --port COM7 --address 4660 ";
    // Slot 2, so that the face begins it at the show command: slot 1 plays as soon as it
    // arrives, since the sign shows slot 1 before it is told otherwise.
    ASSERT_EQ(run(ctl + "send-message 2 m.kom >/dev/null"), 0);
    ASSERT_EQ(run(ctl + "show 2 >/dev/null"), 0);
    const auto shown = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(800ms);

    qputenv("DISPLAY", displayName.c_str());
    qputenv("QT_QPA_PLATFORM", "xcb");
    static int argc = 1;
    static char name[] = "signsim_tests";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);
    const QImage screen = app.primaryScreen()->grabWindow(0).toImage();
    const auto elapsed = std::chrono::steady_clock::now() - shown;
    screen.save(QString::fromStdString(folder + "/screen.png"));

    // 12 registers by 16 rows: LEDs of 7 pixels, as the designer paints the sign.
    const QRect area = ledArea(screen);
    ASSERT_EQ(area.size(), QSize(96 * 7 - 1, 16 * 7 - 1)) << "screen.png in " << folder;

    // The face has played for about `elapsed`; the picture is that of one tick near it.
    const long long reached =
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 12;
    const long long first = std::max(0LL, reached - 60);
    const int count = 90;
    ASSERT_EQ(run("cd '" + kBinDir + "' && ./pixbarctl render '" + folder +
                  "/m.kom' --width 12 --height 16 --switching 1 --display 12 --ticks " +
                  std::to_string(first) + " --every 1 --count " + std::to_string(count) +
                  " --png '" + folder + "/render.png'"),
              0);
    const QImage strip(QString::fromStdString(folder + "/render.png"));
    ASSERT_EQ(strip.height(), count * 112);
    long long matched = -1;
    for (int n = 0; n < count && matched < 0; ++n) {
        bool same = true;
        for (int y = 0; y < area.height() && same; ++y)
            for (int x = 0; x < area.width() && same; ++x)
                same = (screen.pixel(area.left() + x, area.top() + y) & 0xFFFFFF) ==
                       (strip.pixel(x, n * 112 + y) & 0xFFFFFF);
        if (same) matched = first + n;
    }
    EXPECT_GE(matched, 0) << "no tick from " << first << " on looks like screen.png in " << folder;
    std::printf("face at tick %lld, %lld ticks after the show command\n", matched, reached);
}
