// pixbarctl sync: the file sync mode without a window, against the simulated sign on the
// pseudo-terminal and over TCP.
#include "syncrun.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <chrono>
#include <fstream>
#include <functional>

namespace pixbar {
namespace {

using testing::Line;
using testing::SimProcess;
using testing::SyncRun;
using testing::WaitFor;
using testing::NextSecond;
using testing::SyncRecord;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

class PixbarctlSync : public ::testing::TestWithParam<Line> {};

TEST_P(PixbarctlSync, ClockFirstEveryChangeAsItsRecordAndSlotClearedOnSigterm) {
    SimProcess sim(GetParam());
    ASSERT_TRUE(sim.ready());
    SyncRun sync(sim);
    sync.write("0 1 Hello\n");
    ASSERT_TRUE(sync.slotHolds(SyncRecord(1, 1, "Hello "))) << sync.output();
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
        {"1 3xKurs EUR 4,32\r\nsecond line\n", SyncRecord(0, 3, "Kurs EUR 4,32 ")},
        {"2 1 A\n", {}},
        {"0 5 Tab\there, \xB9 too", SyncRecord(1, 5, "Tab here,   too")},
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
    EXPECT_TRUE(sync.slotHolds(SyncRecord(0, 2, "Numer 20 "))) << sync.output();

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
    ASSERT_TRUE(sync.slotHolds(SyncRecord(0, 1, "Ok ")));
    ASSERT_TRUE(WaitFor([&] { return sync.count(" OK\n") == 1; }, 3s)) << sync.output();
    sim.kill9();
    // The next look at the file finds the connection gone; the mode ends so that a service
    // manager can start it again.
    EXPECT_EQ(sync.waitExit(3000), 1) << sync.output();
    EXPECT_NE(sync.output().find("lost"), std::string::npos) << sync.output();
}

} // namespace
} // namespace pixbar
