#include "servicetesting.h"

#include <gtest/gtest.h>

#include <set>

namespace pixbar::service {
namespace {

using namespace std::chrono_literals;
using testing::FakeSign;
using testing::WaitFor;

using testing::FakeLine;

SignEntry Entry(std::uint16_t address = 0x1234) {
    SignEntry e;
    e.name = "shop";
    e.port = "tcp:127.0.0.1:9";
    e.address = address;
    e.width = 12;
    return e;
}

Job Returning(ProtocolResult r, std::function<void()> effect = {}) {
    return {"test", [r, effect](JobContext&) {
                if (effect) effect();
                return r;
            }};
}

TEST(SignWorker, AnOnlineSignIsAskedItsVersionFirst) {
    FakeSign sign("tcp:127.0.0.1:9", 0x1234);
    FakeLine line({&sign});
    SignWorker worker(Entry(), line.factory(), 1h);
    ASSERT_TRUE(WaitFor([&] { return worker.status().online && !worker.status().busy; }));
    EXPECT_EQ(worker.status().firmware, testing::kFirmware);
    const auto frames = sign.frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, kCommandQueryInfo);
    EXPECT_EQ(frames[0].destination, 0x1234);
}

TEST(SignWorker, JobsOfManyThreadsRunOnceEachInTheirSubmittersOrder) {
    FakeSign sign("tcp:127.0.0.1:9", 7);
    FakeLine line({&sign});
    SignWorker worker(Entry(7), line.factory(), 1h);
    ASSERT_TRUE(WaitFor([&] { return worker.status().online; }));
    constexpr int kThreads = 6, kJobs = 60;
    std::mutex mutex;
    std::vector<std::pair<int, int>> ran; // (thread, job) as they ran
    std::set<std::thread::id> runners;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            std::vector<std::future<JobOutcome>> futures;
            for (int j = 0; j < kJobs; ++j)
                futures.push_back(worker.submit({"test", [&, t, j](JobContext& c) {
                    EXPECT_EQ(c.address, 7);
                    std::lock_guard lock(mutex);
                    ran.emplace_back(t, j);
                    runners.insert(std::this_thread::get_id());
                    return ProtocolResult::Ok;
                }}));
            for (auto& f : futures)
                if (f.get().result != JobResult::Ok) ++failures;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures, 0);
    ASSERT_EQ(ran.size(), std::size_t(kThreads * kJobs));
    std::vector<int> next(kThreads, 0);
    for (const auto& [t, j] : ran) EXPECT_EQ(j, next[std::size_t(t)]++) << "thread " << t;
    EXPECT_EQ(runners.size(), 1u); // all on the sign's own thread
    EXPECT_EQ(worker.status().queue, 0);
    EXPECT_EQ(worker.status().lastResult, JobResult::Ok);
}

TEST(SignWorker, ResultsOfTheProtocolBecomeTheJobsOutcome) {
    FakeSign sign("tcp:127.0.0.1:9", 1);
    FakeLine line({&sign});
    SignWorker worker(Entry(1), line.factory(), 1h);
    ASSERT_TRUE(WaitFor([&] { return worker.status().online; }));
    const std::pair<ProtocolResult, JobResult> cases[] = {
        {ProtocolResult::Ok, JobResult::Ok},
        {ProtocolResult::NoReply, JobResult::NoReply},
        {ProtocolResult::Rejected, JobResult::Rejected},
        {ProtocolResult::BadSlot, JobResult::BadInput},
        {ProtocolResult::TooLong, JobResult::BadInput},
    };
    for (const auto& [protocol, job] : cases) {
        const JobOutcome outcome = worker.submit(Returning(protocol)).get();
        EXPECT_EQ(outcome.result, job) << JobResultName(job);
        EXPECT_EQ(outcome.error.empty(), job == JobResult::Ok);
        EXPECT_EQ(worker.status().lastResult, job);
        EXPECT_EQ(worker.status().lastError, outcome.error);
        // A sign that does not answer is still on its open port.
        EXPECT_TRUE(worker.status().online);
    }
}

TEST(SignWorker, SettingsChangeOnlyWhenTheJobSucceeds) {
    FakeSign sign("tcp:127.0.0.1:9", 1);
    FakeLine line({&sign});
    SignWorker worker(Entry(1), line.factory(), 1h);
    ASSERT_TRUE(WaitFor([&] { return worker.status().online; }));
    const SignSettings start = worker.status().settings;
    EXPECT_EQ(start, (SignSettings{90, 2, 12}));
    for (ProtocolResult r : {ProtocolResult::Rejected, ProtocolResult::NoReply, ProtocolResult::Ok}) {
        const JobOutcome outcome = worker.submit({"config", [r](JobContext& c) {
                                                     c.settings.brightness = 33;
                                                     return r;
                                                 }}).get();
        EXPECT_EQ(worker.status().settings.brightness, r == ProtocolResult::Ok ? 33 : 90)
            << JobResultName(outcome.result);
    }
}

TEST(SignWorker, AnOfflineSignFailsAtOnceAndItsPortIsTriedAgain) {
    FakeSign sign("tcp:127.0.0.1:9", 1);
    FakeLine line({&sign});
    sign.openable = false;
    SignWorker worker(Entry(1), line.factory(), 1h);
    ASSERT_TRUE(WaitFor([&] { return sign.opens >= 1; }));
    bool ran = false;
    const JobOutcome outcome = worker.submit(Returning(ProtocolResult::Ok, [&] { ran = true; })).get();
    EXPECT_EQ(outcome.result, JobResult::Offline);
    EXPECT_FALSE(outcome.error.empty());
    EXPECT_FALSE(ran);
    EXPECT_FALSE(worker.status().online);

    const int before = sign.opens;
    worker.retryNow();
    ASSERT_TRUE(WaitFor([&] { return sign.opens > before; }));
    EXPECT_FALSE(worker.status().online);

    sign.openable = true;
    worker.retryNow();
    ASSERT_TRUE(WaitFor([&] { return worker.status().online; }));
    EXPECT_EQ(worker.submit(Returning(ProtocolResult::Ok, [&] { ran = true; })).get().result,
              JobResult::Ok);
    EXPECT_TRUE(ran);
}

TEST(SignWorker, TheRetryPeriodReopensWithoutBeingWoken) {
    FakeSign sign("tcp:127.0.0.1:9", 1);
    FakeLine line({&sign});
    sign.openable = false;
    SignWorker worker(Entry(1), line.factory(), 5ms);
    ASSERT_TRUE(WaitFor([&] { return sign.opens >= 3; }));
    sign.openable = true;
    EXPECT_TRUE(WaitFor([&] { return worker.status().online; }));
}

TEST(SignWorker, StopLetsTheRunningJobEndAndAnswersTheRestStopped) {
    FakeSign sign("tcp:127.0.0.1:9", 1);
    FakeLine line({&sign});
    SignWorker worker(Entry(1), line.factory(), 1h);
    ASSERT_TRUE(WaitFor([&] { return worker.status().online; }));
    std::promise<void> started, release;
    auto releaseFuture = release.get_future().share();
    auto running = worker.submit({"slow", [&](JobContext&) {
                                      started.set_value();
                                      releaseFuture.wait();
                                      return ProtocolResult::Rejected;
                                  }});
    started.get_future().wait();
    std::atomic<int> queuedRuns{0};
    std::vector<std::future<JobOutcome>> queued;
    for (int i = 0; i < 5; ++i)
        queued.push_back(worker.submit(Returning(ProtocolResult::Ok, [&] { ++queuedRuns; })));
    EXPECT_EQ(worker.status().queue, 5);

    std::thread stopper([&] { worker.stop(); });
    for (auto& f : queued) EXPECT_EQ(f.get().result, JobResult::Stopped);
    EXPECT_EQ(worker.submit(Returning(ProtocolResult::Ok, [&] { ++queuedRuns; })).get().result,
              JobResult::Stopped);
    EXPECT_EQ(running.wait_for(0s), std::future_status::timeout); // still on the sign
    release.set_value();
    stopper.join();
    EXPECT_EQ(running.get().result, JobResult::Rejected);
    EXPECT_EQ(queuedRuns, 0);
    EXPECT_FALSE(worker.status().online);
    worker.stop(); // a second stop does nothing
}

} // namespace
} // namespace pixbar::service
