#include "schedulejobs.h"
#include "servicetesting.h"
#include "signservice.h"
#include "simprocess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

namespace pixbar::service {
namespace {

using namespace std::chrono_literals;
using testing::FakeLine;
using testing::FakeSign;
using testing::Sent;
using testing::WaitFor;

constexpr std::uint16_t kShopAddress = 0x1234;
const QTimeZone kWarsaw("Europe/Warsaw");

QDateTime local(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), kWarsaw);
}

void writeFile(const std::filesystem::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

using testing::Json;

/// The schedule's requests carry its text unless a test says otherwise.
ApiRequest Request(std::string method, std::string path, std::string body = {},
                   std::string contentType = "text/plain; charset=utf-8") {
    return testing::Request(std::move(method), std::move(path), std::move(body),
                            std::move(contentType));
}

/// "shop" has a schedule file in a folder of its own, "back" has none; time is the test's.
class Schedules : public ::testing::Test {
protected:
    Schedules() {
        m_file = std::filesystem::path(m_dir.path().toStdString()) / "shop.harmonogram";
        writeFile(m_file, "# sklep\npn-pt 07:30 show 2\n");
        ServiceConfig config;
        SignEntry shop;
        shop.name = "shop";
        shop.port = m_shop.port;
        shop.address = kShopAddress;
        shop.schedule = m_file;
        SignEntry back = shop;
        back.name = "back";
        back.port = m_back.port;
        back.address = 2;
        back.schedule.clear();
        config.signs = {shop, back};
        m_back.openable = false;
        m_service = std::make_unique<SignService>(
            config, m_line.factory(), GlyphSets{}, m_clock, 1h,
            ScheduleTime{[this] { return m_now; }, kWarsaw});
        EXPECT_TRUE(WaitFor([&] {
            const SignStatus s = m_service->worker("shop")->status();
            return s.online && !s.busy;
        }));
    }

    ApiResponse handle(const ApiRequest& r) { return m_service->handle(r); }
    /// The commands that reached the shop after its version was asked.
    std::vector<std::uint8_t> shopCommands() const {
        std::vector<std::uint8_t> out;
        for (const Sent& s : m_shop.frames())
            if (s.command != kCommandQueryInfo) out.push_back(s.command);
        return out;
    }

    QTemporaryDir m_dir;
    std::filesystem::path m_file;
    QDateTime m_now = local(2026, 12, 9, 7, 0); // a Wednesday
    FakeSign m_shop{"tcp:127.0.0.1:9", kShopAddress};
    FakeSign m_back{"tcp:127.0.0.1:10", 2};
    FakeLine m_line{{&m_shop, &m_back}};
    FixedClock m_clock;
    std::unique_ptr<SignService> m_service;
};

TEST_F(Schedules, GetGivesTheTextAndEachEntryWithItsNextTime) {
    const QJsonObject o = Json(handle(Request("GET", "/api/v1/signs/shop/schedule")));
    EXPECT_EQ(o["text"].toString(), "# sklep\npn-pt 07:30 show 2\n");
    EXPECT_TRUE(o["editable"].toBool());
    const QJsonArray entries = o["entries"].toArray();
    ASSERT_EQ(entries.size(), 1);
    const QJsonObject e = entries[0].toObject();
    EXPECT_EQ(e["line"].toInt(), 2);
    EXPECT_EQ(e["days"].toString(), "pn-pt");
    EXPECT_EQ(e["time"].toString(), "07:30");
    EXPECT_EQ(e["action"].toString(), "show 2");
    EXPECT_EQ(e["next"].toString(), "2026-12-09T07:30:00+01:00");

    const QJsonObject back = Json(handle(Request("GET", "/api/v1/signs/back/schedule")));
    EXPECT_EQ(back["text"].toString(), "");
    EXPECT_TRUE(back["entries"].toArray().isEmpty());
    EXPECT_FALSE(back["editable"].toBool());
    EXPECT_EQ(handle(Request("GET", "/api/v1/signs/nikt/schedule")).status, 404);
    EXPECT_EQ(handle(Request("POST", "/api/v1/signs/shop/schedule")).status, 405);
}

TEST_F(Schedules, PutWritesTheFileAndAnswersAsGet) {
    const std::string text = "sb,nd 09:00 brightness 40\ncodziennie 22:00 live Dobranoc\n";
    const ApiResponse put = handle(Request("PUT", "/api/v1/signs/shop/schedule", text));
    ASSERT_EQ(put.status, 200) << put.body;
    EXPECT_EQ(readFile(m_file), text);
    EXPECT_EQ(put.body, handle(Request("GET", "/api/v1/signs/shop/schedule")).body);
    const QJsonArray entries = Json(put)["entries"].toArray();
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].toObject()["next"].toString(), "2026-12-12T09:00:00+01:00");
    EXPECT_EQ(entries[1].toObject()["action"].toString(), "live Dobranoc");
}

TEST_F(Schedules, BadPutsLeaveTheFileAlone) {
    const std::string before = readFile(m_file);
    const ApiResponse bad =
        handle(Request("PUT", "/api/v1/signs/shop/schedule", "pn 07:00 show 1\nxx 07:30 show 2\n"));
    EXPECT_EQ(bad.status, 400);
    const QJsonObject o = Json(bad);
    EXPECT_EQ(o["line"].toInt(), 2);
    EXPECT_EQ(o["column"].toInt(), 1);
    EXPECT_EQ(o["error"].toString(), "2:1: Nieznany dzień tygodnia „xx”");

    EXPECT_EQ(handle(Request("PUT", "/api/v1/signs/shop/schedule", "pn 07:00 show 1\n\xC3\x28"))
                  .status,
              400);
    EXPECT_EQ(handle(Request("PUT", "/api/v1/signs/shop/schedule",
                             std::string(kMaxScheduleSize + 1, '#')))
                  .status,
              413);
    EXPECT_EQ(handle(Request("PUT", "/api/v1/signs/shop/schedule", "pn 07:00 show 1\n",
                             "application/json"))
                  .status,
              415);
    EXPECT_EQ(readFile(m_file), before);
    // A sign without a schedule file has nothing to write to.
    const ApiResponse none = handle(Request("PUT", "/api/v1/signs/back/schedule", "pn 07:00 show 1\n"));
    EXPECT_EQ(none.status, 409);
    EXPECT_FALSE(Json(none)["error"].toString().isEmpty());
}

TEST_F(Schedules, DueEntriesReachTheSignInOrderAtTheirTimes) {
    writeFile(m_file.parent_path() / "oferta.txt", "Oferta dnia {effect 3}");
    ASSERT_EQ(handle(Request("PUT", "/api/v1/signs/shop/schedule",
                             "codziennie 08:00 show 2\n"
                             "codziennie 08:00 brightness 30\n"
                             "codziennie 08:01 message 3 oferta.txt\n"
                             "codziennie 08:02 message 4 brak.txt\n"
                             "codziennie 08:03 clock\n"))
                  .status,
              200);
    SignSchedules& schedules = m_service->schedules();
    // Start: the clock, nothing else is due in the week before 07:00 but 08:00 of yesterday.
    auto next = schedules.poll();
    ASSERT_TRUE(WaitFor([&] { return shopCommands().size() == 3; }));
    EXPECT_EQ(shopCommands(), (std::vector<std::uint8_t>{kCommandSetClock, kCommandShowSlot1 + 1,
                                                         kCommandConfiguration}));
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, local(2026, 12, 9, 8, 0));

    m_now = local(2026, 12, 9, 7, 59);
    EXPECT_EQ(schedules.poll(), local(2026, 12, 9, 8, 0));
    m_now = local(2026, 12, 9, 8, 3);
    EXPECT_EQ(schedules.poll(), local(2026, 12, 10, 3, 0));
    // 08:02 names a missing file: it is left out, the rest runs.
    const std::vector<std::uint8_t> expected{
        kCommandSetClock,       kCommandShowSlot1 + 1, kCommandConfiguration,
        kCommandShowSlot1 + 1,  kCommandConfiguration, kCommandMessageBlock,
        kCommandMessageBlock,   kCommandMessageBlock,  kCommandMessageBlock,
        kCommandMessageBlock,   kCommandMessageBlock,  kCommandMessageBlock,
        kCommandMessageBlock,   kCommandSetClock};
    ASSERT_TRUE(WaitFor([&] { return shopCommands().size() >= expected.size(); }));
    EXPECT_EQ(shopCommands(), expected);
    EXPECT_EQ(m_service->worker("shop")->status().settings.brightness, 30);
    EXPECT_EQ(m_service->worker("shop")->status().shown, 2);
}

TEST_F(Schedules, ASignComingOnlineCatchesUp) {
    SignSchedules& schedules = m_service->schedules();
    const auto backCommands = [&] {
        std::vector<std::uint8_t> out;
        for (const Sent& f : m_back.frames())
            if (f.command != kCommandQueryInfo) out.push_back(f.command);
        return out;
    };
    schedules.poll(); // "back" is offline: its clock cannot be set yet
    m_now = m_now.addSecs(60);
    schedules.poll();
    EXPECT_TRUE(backCommands().empty());
    m_back.openable = true;
    m_service->worker("back")->retryNow();
    // Once its version has been asked, the worker has told its observers it is online.
    ASSERT_TRUE(WaitFor([&] {
        const SignStatus s = m_service->worker("back")->status();
        return s.online && !s.busy;
    }));
    m_now = m_now.addSecs(60);
    schedules.poll();
    ASSERT_TRUE(WaitFor([&] { return !backCommands().empty(); }));
    EXPECT_EQ(backCommands(), std::vector<std::uint8_t>{kCommandSetClock});
}

/// The runner's own thread: it catches up at start, runs what a new schedule makes due at
/// once, and stops without waiting for its next entry.
TEST(ScheduleThread, RunsAfterAPutAndStopsAtOnce) {
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "s.txt";
    writeFile(file, "");
    FakeSign sign{"tcp:127.0.0.1:9", kShopAddress};
    FakeLine line{{&sign}};
    ServiceConfig config;
    SignEntry entry;
    entry.name = "shop";
    entry.port = sign.port;
    entry.address = kShopAddress;
    entry.schedule = file;
    config.signs = {entry};
    // Read by the schedule's thread while the test moves it.
    std::atomic<qint64> now{local(2026, 12, 9, 7, 0).toMSecsSinceEpoch()};
    FixedClock clock;
    SignService service(config, line.factory(), GlyphSets{}, clock, 1h,
                        ScheduleTime{[&] { return QDateTime::fromMSecsSinceEpoch(now, Qt::UTC); },
                                     kWarsaw});
    ASSERT_TRUE(WaitFor([&] {
        const SignStatus s = service.worker("shop")->status();
        return s.online && !s.busy;
    }));
    const auto commands = [&] {
        std::vector<std::uint8_t> out;
        for (const Sent& f : sign.frames())
            if (f.command != kCommandQueryInfo) out.push_back(f.command);
        return out;
    };
    service.schedules().start();
    ASSERT_TRUE(WaitFor([&] { return commands() == std::vector<std::uint8_t>{kCommandSetClock}; }));
    now = local(2026, 12, 9, 7, 1).toMSecsSinceEpoch();
    // 07:01 is already past when the schedule arrives; 07:00 was due before it.
    ASSERT_EQ(service
                  .handle(Request("PUT", "/api/v1/signs/shop/schedule",
                                  "codziennie 07:01 show 4\ncodziennie 07:00 show 3\n"))
                  .status,
              200);
    ASSERT_TRUE(WaitFor([&] { return commands().size() == 2; }));
    EXPECT_EQ(commands().back(), kCommandShowSlot1 + 3);
    const auto stopping = std::chrono::steady_clock::now();
    service.stop();
    EXPECT_LT(std::chrono::steady_clock::now() - stopping, 2s);
}

TEST(ScheduleJobs, ReadFilesOnlyInsideTheFolder) {
    QTemporaryDir dir, outside;
    const std::filesystem::path folder = dir.path().toStdString();
    writeFile(folder / "dobry.txt", "Witaj");
    writeFile(folder / "zly.txt", "Witaj {efect 3}");
    writeFile(folder / "zestaw.txt", "[message 1]\nWitaj\n[message 2]\nŻegnaj\n");
    writeFile(std::filesystem::path(outside.path().toStdString()) / "tajne.txt", "Tajne");
    std::filesystem::create_symlink(std::filesystem::path(outside.path().toStdString()) / "tajne.txt",
                                    folder / "link.txt");
    const auto entry = [](const char* line) { return ParseSchedule(line).entries.at(0); };
    const auto job = ScheduleJob(entry("pn 07:00 message 1 dobry.txt"), folder);
    ASSERT_TRUE(std::holds_alternative<Job>(job)) << std::get<std::string>(job);
    EXPECT_EQ(std::get<Job>(job).kind, "message");
    const auto link = ScheduleJob(entry("pn 07:00 message 1 link.txt"), folder);
    ASSERT_TRUE(std::holds_alternative<std::string>(link));
    EXPECT_NE(std::get<std::string>(link).find("poza folderem"), std::string::npos);
    const auto bad = ScheduleJob(entry("pn 07:00 message 1 zly.txt"), folder);
    ASSERT_TRUE(std::holds_alternative<std::string>(bad));
    EXPECT_NE(std::get<std::string>(bad).find("zly.txt:1:"), std::string::npos);
    EXPECT_TRUE(std::holds_alternative<std::string>(ScheduleJob(entry("pn 07:00 set dobry.kzb"), folder)));
    const auto set = ScheduleJob(entry("pn 07:00 set zestaw.txt"), folder);
    ASSERT_TRUE(std::holds_alternative<Job>(set)) << std::get<std::string>(set);
    EXPECT_EQ(std::get<Job>(set).kind, "set");
    // One message is not a set.
    EXPECT_TRUE(std::holds_alternative<std::string>(
        ScheduleJob(entry("pn 07:00 message 2 zestaw.txt"), folder)));
    EXPECT_EQ(std::get<Job>(ScheduleJob(entry("pn 07:00 live"), folder)).kind, "live");
}

TEST(ScheduleCheck, NamesEveryProblemByFileLineAndColumn) {
    QTemporaryDir dir;
    const std::filesystem::path folder = dir.path().toStdString();
    writeFile(folder / "a.txt", "pn 07:00 show 1\npn 07:00 show 0\nxx 08:00 clock\n");
    writeFile(folder / "b.txt", "codziennie 07:00 show 1\n");
    writeFile(folder / "pixbard.conf",
              "[sign a]\nport = COM1\nschedule = a.txt\n[sign b]\nport = COM2\nschedule = b.txt\n"
              "[sign c]\nport = COM3\nschedule = brak.txt\n[sign d]\nport = COM4\n");
    const ServiceConfig config = ReadServiceConfig(folder / "pixbard.conf");
    ASSERT_TRUE(config.ok());
    EXPECT_EQ(config.signs[0].schedule, folder / "a.txt");
    EXPECT_TRUE(config.signs[3].schedule.empty());
    const std::vector<std::string> problems = CheckSchedules(config.signs);
    const std::string a = (folder / "a.txt").string(), c = (folder / "brak.txt").string();
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], a + ":2:15: Zła liczba „0”: show to liczba od 1 do 9");
    EXPECT_EQ(problems[1], a + ":3:1: Nieznany dzień tygodnia „xx”");
    EXPECT_EQ(problems[2], c + ": nie ma pliku harmonogramu");
    EXPECT_FALSE(ParseServiceConfig("[sign a]\nport = COM1\nschedule =\n").ok());
    EXPECT_EQ(ParseServiceConfig("[sign a]\nport = COM1\nschedule = x/s.txt\n").signs[0].schedule,
              "x/s.txt");
}

/// The simulated sign, reached over TCP, gets the entries in their order at their times.
TEST(ScheduleOnTheSimulatedSign, EntriesArriveInOrder) {
    pixbar::testing::SimProcess sim(pixbar::testing::Line::Tcp);
    ASSERT_TRUE(sim.ready());
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "s.txt";
    writeFile(file, "codziennie 12:00 show 3\ncodziennie 12:00 speed 7\ncodziennie 12:05 live Obiad\n"
                    "codziennie 12:10 show 1\n");
    ServiceConfig config;
    SignEntry sign;
    sign.name = "sim";
    sign.port = sim.portName().toStdString();
    sign.address = pixbar::testing::SimProcess::kSerial;
    sign.schedule = file;
    config.signs = {sign};
    QDateTime now = local(2026, 12, 9, 11, 0);
    FixedClock clock;
    SignService service(config, [] { return std::make_unique<ComProtocol>(); }, GlyphSets{}, clock,
                        200ms, ScheduleTime{[&] { return now; }, kWarsaw});
    ASSERT_TRUE(WaitFor([&] { return service.worker("sim")->status().online; }));
    const auto commands = [&] {
        std::vector<std::string> out;
        for (const QByteArray& line : sim.frameLines()) {
            const QByteArray cmd = line.mid(line.indexOf("cmd=") + 4, 4);
            if (cmd != "0x21") out.push_back(cmd.toStdString());
        }
        return out;
    };
    SignSchedules& schedules = service.schedules();
    // Catching up: the clock, then yesterday's speed 7, live text and show 1, by their times.
    schedules.poll();
    ASSERT_TRUE(WaitFor([&] { return commands().size() >= 4; }));
    const std::size_t caughtUp = commands().size();
    for (int minute = 0; minute <= 14; ++minute) {
        now = local(2026, 12, 9, 12, minute);
        schedules.poll();
    }
    // 12:00 show 3 and speed 7, 12:05 the live text, 12:10 show 1.
    ASSERT_TRUE(WaitFor([&] { return commands().size() >= 2 * caughtUp; }));
    const std::vector<std::string> all = commands();
    const std::vector<std::string> start(all.begin(), all.begin() + std::ptrdiff_t(caughtUp));
    const std::vector<std::string> day(all.begin() + std::ptrdiff_t(caughtUp), all.end());
    EXPECT_EQ(start.front(), "0x11");
    EXPECT_EQ(start[1], "0x13");
    EXPECT_EQ(start.back(), "0x16");
    EXPECT_EQ(day.front(), "0x18");
    EXPECT_EQ(day[1], "0x13");
    EXPECT_EQ(day.back(), "0x16");
    // The live text is sent alike both times.
    EXPECT_EQ(std::vector<std::string>(start.begin() + 2, start.end() - 1),
              std::vector<std::string>(day.begin() + 2, day.end() - 1));
    EXPECT_EQ(service.worker("sim")->status().settings.speed, 7);
    EXPECT_EQ(service.worker("sim")->status().live, "Obiad");
}

/// A sign whose port is still being opened when the schedule starts is caught up once it is
/// online, not sent jobs that could only end Offline.
TEST(ScheduleStart, ASignNotYetOnlineIsCaughtUpWhenItComesOnline) {
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "s.txt";
    writeFile(file, "codziennie 06:00 brightness 20\n");
    FakeSign sign{"tcp:127.0.0.1:9", kShopAddress};
    sign.openable = false;
    FakeLine line{{&sign}};
    SignEntry entry;
    entry.name = "shop";
    entry.port = sign.port;
    entry.address = kShopAddress;
    std::mutex mutex;
    std::vector<std::string> log;
    // Outlives the worker, which tells it of its last change as it stops.
    SignSchedules schedules(ScheduleTime{[] { return local(2026, 12, 9, 7, 0); }, kWarsaw},
                            [&](const std::string& text) {
                                std::lock_guard lock(mutex);
                                log.push_back(text);
                            });
    SignWorker worker(entry, line.factory(), 1h);
    schedules.add(worker, file);
    schedules.poll();
    {
        std::lock_guard lock(mutex);
        EXPECT_TRUE(log.empty()) << log.front();
    }
    sign.openable = true;
    worker.retryNow();
    ASSERT_TRUE(WaitFor([&] {
        const SignStatus s = worker.status();
        return s.online && !s.busy;
    }));
    schedules.poll();
    ASSERT_TRUE(WaitFor([&] { return worker.status().settings.brightness == 20; }));
}

} // namespace
} // namespace pixbar::service
