// pixbarctl sync: the file sync mode without a window, against the simulated sign on the
// pseudo-terminal and over TCP.
#include "simprocess.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <functional>

namespace pixbar {
namespace {

using testing::Line;
using testing::SimProcess;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

/// The record slot 9 gets for a data line: one cell of `font` per character, then the kind.
Bytes Record(std::uint8_t kind, std::uint8_t font, const std::string& text) {
    Bytes record(kMessageBytes, 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        record[2 * i] = font;
        record[2 * i + 1] = std::uint8_t(text[i]);
    }
    record[kMessageBytes - 1] = kind;
    return record;
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

/// Sleeps until `offset` past the next whole second of the wall clock.
void NextSecond(std::chrono::milliseconds offset = 20ms) {
    const auto now = std::chrono::system_clock::now();
    std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(now) + offset);
}

/// One `pixbarctl sync` beside a simulated sign; its standard output goes to a file.
class SyncRun {
public:
    SyncRun(const SimProcess& sim, std::vector<std::string> extra = {}) : m_sim(sim) {
        const QDir dir(sim.dir());
        m_data = dir.filePath("dane.txt").toStdString();
        m_out = dir.filePath("sync.out").toStdString();
        std::vector<std::string> args = {std::string(PIXBAR_BIN_DIR) + "/pixbarctl",
                                         "--ports-dir",
                                         sim.portsDir().toStdString(),
                                         "--port",
                                         sim.portName().toStdString(),
                                         "--address",
                                         std::to_string(SimProcess::kSerial),
                                         "sync",
                                         "--file",
                                         m_data};
        args.insert(args.end(), extra.begin(), extra.end());
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        m_pid = testing::Spawn(args, &files);
        posix_spawn_file_actions_destroy(&files);
    }
    ~SyncRun() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }

    void write(const std::string& line) const {
        std::ofstream(m_data, std::ios::binary | std::ios::trunc) << line;
    }
    std::string output() const {
        std::ifstream in(m_out);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int count(const std::string& status) const {
        const std::string text = output();
        int n = 0;
        for (std::size_t at = text.find(status); at != std::string::npos;
             at = text.find(status, at + 1))
            ++n;
        return n;
    }
    bool slotHolds(const Bytes& record, std::chrono::milliseconds limit = 5000ms) const {
        return WaitFor([&] { return m_sim.state("slot9.kom") == record; }, limit);
    }
    /// Sends SIGTERM; the exit code, or -1 when it has not ended within `ms`.
    int stop(int ms = 8000) {
        kill(m_pid, SIGTERM);
        const int code = testing::WaitExit(m_pid, ms);
        if (code != -1) m_pid = -1;
        return code;
    }
    int waitExit(int ms) {
        const int code = testing::WaitExit(m_pid, ms);
        if (code != -1) m_pid = -1;
        return code;
    }

private:
    const SimProcess& m_sim;
    std::string m_data;
    std::string m_out;
    pid_t m_pid = -1;
};

class PixbarctlSync : public ::testing::TestWithParam<Line> {};

TEST_P(PixbarctlSync, ClockFirstEveryChangeAsItsRecordAndSlotClearedOnSigterm) {
    SimProcess sim(GetParam());
    ASSERT_TRUE(sim.ready());
    SyncRun sync(sim);
    sync.write("0 1 Hello\n");
    ASSERT_TRUE(sync.slotHolds(Record(1, 1, "Hello "))) << sync.output();
    const auto frames = sim.frameLines();
    ASSERT_GE(frames.size(), 2);
    EXPECT_TRUE(frames[0].startsWith("frame cmd=0x11 ")) << frames[0].toStdString();
    EXPECT_TRUE(frames[1].startsWith("frame cmd=0x15 dst=0x1234 len=1024 "));

    // Each change of the first line, in a later second than the one before it.
    struct Change {
        std::string line;
        Bytes record; ///< empty: the line is malformed and nothing is sent
    };
    const std::vector<Change> changes = {
        {"1 3xKurs EUR 4,32\r\nsecond line\n", Record(0, 3, "Kurs EUR 4,32 ")},
        {"2 1 A\n", {}},
        {"0 5 Tab\there, \xB9 too", Record(1, 5, "Tab here,   too")},
    };
    for (const Change& c : changes) {
        NextSecond();
        const int sent = sim.frames();
        const int errors = sync.count("Błąd podczas odczytu pliku komunikatu!");
        sync.write(c.line);
        if (c.record.empty()) {
            EXPECT_TRUE(WaitFor([&] { return sync.count("Błąd podczas odczytu") > errors; }, 3s))
                << sync.output();
            EXPECT_EQ(sim.frames(), sent);
        } else {
            EXPECT_TRUE(sync.slotHolds(c.record)) << c.line << "\n" << sync.output();
        }
    }

    // Twenty rewrites within one second; the last lands in a second of its own, so the
    // change is seen however finely the file's times are compared.
    NextSecond(50ms);
    const auto start = std::chrono::system_clock::now();
    for (int k = 1; k <= 19; ++k) {
        sync.write("1 2 Numer " + std::to_string(k) + "\n");
        std::this_thread::sleep_until(start + k * 44ms);
    }
    std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(start) + 30ms);
    sync.write("1 2 Numer 20\n");
    EXPECT_TRUE(sync.slotHolds(Record(0, 2, "Numer 20 "))) << sync.output();

    EXPECT_EQ(sync.stop(), 0) << sync.output();
    EXPECT_EQ(sim.state("slot9.kom"), Bytes(kMessageBytes, 0));
    EXPECT_TRUE(sim.frameLines().back().startsWith("frame cmd=0x15 dst=0x1234 len=1024 data=0000"));
    EXPECT_NE(sync.output().find("Synchronizuję czas w linijce\n"), std::string::npos);
    EXPECT_NE(sync.output().find("slot 9 cleared"), std::string::npos) << sync.output();
}

INSTANTIATE_TEST_SUITE_P(Lines, PixbarctlSync, ::testing::Values(Line::Pty, Line::Tcp),
                         [](const auto& info) { return testing::LineName(info.param); });

TEST(PixbarctlSyncEnds, WithoutPortClockOrConnection) {
    {
        SimProcess sim(Line::Tcp, {"--fault", "reject"});
        ASSERT_TRUE(sim.ready());
        SyncRun sync(sim);
        EXPECT_EQ(sync.waitExit(3000), 1) << sync.output();
        EXPECT_NE(sync.output().find("Nie moge zsynchronizowac czasu w linijce!"),
                  std::string::npos);
    }
    {
        SimProcess sim(Line::Pty);
        ASSERT_TRUE(sim.ready());
        SyncRun sync(sim, {"--config"}); // an option without its value
        EXPECT_EQ(sync.waitExit(3000), 64);
        std::string out;
        EXPECT_EQ(sim.ctl("--port COM9 sync", &out), 10) << out;
        EXPECT_NE(out.find("Nie mogę otworzyć portu COM9 !"), std::string::npos) << out;
    }
    SimProcess sim(Line::Tcp);
    ASSERT_TRUE(sim.ready());
    SyncRun sync(sim);
    sync.write("1 1 Ok\n");
    ASSERT_TRUE(sync.slotHolds(Record(0, 1, "Ok ")));
    ASSERT_TRUE(WaitFor([&] { return sync.count(" OK\n") == 1; }, 3s)) << sync.output();
    sim.kill9();
    // The next look at the file finds the connection gone; the mode ends so that a service
    // manager can start it again.
    EXPECT_EQ(sync.waitExit(3000), 1) << sync.output();
    EXPECT_NE(sync.output().find("lost"), std::string::npos) << sync.output();
}

} // namespace
} // namespace pixbar
