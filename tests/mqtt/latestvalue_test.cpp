// "Latest value wins" in a sign's queue: live text and settings from MQTT replace an older
// value still waiting; messages, shows and everything HTTP sends keep their place.
#include "linktesting.h"
#include "signjobs.h"

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <random>
#include <thread>

namespace pixbar::service {
namespace {

using namespace std::chrono_literals;
using testing::Bytes;
using testing::Decode;
using testing::Reply;
using testing::Sent;

/// A worker over a memory port that acknowledges every frame; a job can be held running
/// at the front of the queue while others arrive behind it.
class HeldSign {
public:
    HeldSign() {
        m_device.open();
        SignEntry sign;
        sign.name = "shop";
        sign.port = m_device.fileName().toStdString(); // a path that exists, like a serial device
        m_worker = std::make_unique<SignWorker>(sign, [this] {
            auto port = std::make_unique<MemoryPort>(m_clock);
            m_port = port.get();
            m_port->setResponder([](std::span<const std::uint8_t>) { return Reply(1, 0, 0x80); });
            auto protocol = std::make_unique<ComProtocol>(std::move(port), m_clock);
            protocol->port().setPortsDirectory({});
            protocol->port().setSystemPorts([] { return std::vector<SystemPort>{}; });
            return protocol;
        });
        for (int i = 0; i < 500 && !(m_worker->status().online && !m_worker->status().busy); ++i)
            std::this_thread::sleep_for(10ms);
    }
    ~HeldSign() { m_worker.reset(); }

    SignWorker& worker() { return *m_worker; }
    bool ready() const { return m_worker->status().online; }

    /// Queues a job that runs until release(), with `key` as its "latest value" key, and waits
    /// until it is running.
    std::future<JobOutcome> hold(std::string key = {}) {
        Job job{"hold", [this](JobContext&) {
                    m_running.set_value();
                    m_gate.get_future().wait();
                    return ProtocolResult::Ok;
                }};
        job.replaces = std::move(key);
        auto future = m_worker->submit(std::move(job));
        m_running.get_future().wait();
        return future;
    }
    void release() { m_gate.set_value(); }

    /// The frames the sign got for jobs (not the worker's own query of the sign).
    std::vector<Sent> frames() const {
        std::vector<Sent> out;
        for (const Bytes& w : m_port->writes()) {
            Sent s = Decode(w);
            if (s.command != kCommandQueryInfo) out.push_back(std::move(s));
        }
        return out;
    }

private:
    QTemporaryFile m_device;
    FakeClock m_clock;
    MemoryPort* m_port = nullptr;
    std::promise<void> m_running, m_gate;
    std::unique_ptr<SignWorker> m_worker;
};

Job Command(const std::string& command, const std::string& payload) {
    auto job = CommandJob(command, payload);
    EXPECT_TRUE(std::holds_alternative<Job>(job)) << command << " " << payload;
    return std::get<Job>(std::move(job));
}

bool Ready(std::future<JobOutcome>& f) {
    return f.wait_for(0s) == std::future_status::ready;
}

Bytes RecordOf(const std::string& text) {
    const auto parsed = ParseMessageBody("text/plain", text);
    const auto& bytes = std::get<MessageRecord>(parsed).bytes;
    return Bytes(bytes.begin(), bytes.end());
}

TEST(LatestValueTest, OnlyTheLastOfThreeLiveTextsRuns) {
    HeldSign sign;
    ASSERT_TRUE(sign.ready());
    auto held = sign.hold();
    auto first = sign.worker().submit(Command("live", "Pierwszy"));
    auto second = sign.worker().submit(Command("live", "Drugi"));
    auto third = sign.worker().submit(Command("live", "Trzeci"));
    // The replaced ones are answered at once, not when the sign is free again.
    ASSERT_TRUE(Ready(first));
    ASSERT_TRUE(Ready(second));
    EXPECT_EQ(first.get().result, JobResult::Replaced);
    EXPECT_EQ(second.get().result, JobResult::Replaced);
    EXPECT_FALSE(Ready(third));
    EXPECT_EQ(sign.worker().status().queue, 1);
    sign.release();
    EXPECT_EQ(held.get().result, JobResult::Ok);
    EXPECT_EQ(third.get().result, JobResult::Ok);

    const auto frames = sign.frames();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].command, kCommandStoreSlot9);
    EXPECT_EQ(frames[0].payload, RecordOf("Trzeci"));
    EXPECT_EQ(sign.worker().status().live, std::optional<std::string>("Trzeci"));
}

TEST(LatestValueTest, TheRunningJobIsNeverReplaced) {
    HeldSign sign;
    ASSERT_TRUE(sign.ready());
    auto held = sign.hold("live");
    auto next = sign.worker().submit(Command("live", "Następny"));
    EXPECT_FALSE(Ready(next));
    sign.release();
    EXPECT_EQ(held.get().result, JobResult::Ok);
    EXPECT_EQ(next.get().result, JobResult::Ok);
    ASSERT_EQ(sign.frames().size(), 1u);
}

TEST(LatestValueTest, JobsWithoutKeyAreNeverReplaced) {
    // What HTTP sends: each write is a request of its own that its client waits for.
    HeldSign sign;
    ASSERT_TRUE(sign.ready());
    auto held = sign.hold();
    std::vector<std::future<JobOutcome>> futures;
    const std::vector<std::string> texts = {"jeden", "dwa", "trzy"};
    for (const std::string& t : texts) {
        futures.push_back(sign.worker().submit(LiveJob(std::get<MessageRecord>(ParseMessageBody("text/plain", t)), t)));
        ConfigChange change;
        change.brightness = int(t.size()) * 10;
        futures.push_back(sign.worker().submit(ConfigJob(change)));
    }
    for (auto& f : futures) EXPECT_FALSE(Ready(f));
    EXPECT_EQ(sign.worker().status().queue, 6);
    sign.release();
    held.get();
    for (auto& f : futures) EXPECT_EQ(f.get().result, JobResult::Ok);
    const auto frames = sign.frames();
    ASSERT_EQ(frames.size(), 6u);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(frames[2 * i].command, kCommandStoreSlot9);
        EXPECT_EQ(frames[2 * i].payload, RecordOf(texts[i]));
        EXPECT_EQ(frames[2 * i + 1].command, kCommandConfiguration);
    }
}

/// One command of a random run, and what the queue should make of it.
struct Step {
    std::string command, payload;
    std::string key;       ///< its "latest value" key, empty for none
    bool replaced = false; ///< by a later one with the same key while both waited
};

/// The frames of `steps` that survive, run one by one in queue order on a sign of their own.
std::vector<Sent> Expected(const std::vector<Step>& steps, const std::vector<std::size_t>& order) {
    testing::Rig rig;
    rig.acknowledgeAll();
    SignSettings settings;
    for (std::size_t i : order) {
        Job job = Command(steps[i].command, steps[i].payload);
        JobContext context{*rig.protocol, 1, settings};
        job.run(context);
    }
    std::vector<Sent> out;
    for (const Bytes& w : rig.port->writes()) out.push_back(Decode(w));
    return out;
}

TEST(LatestValueTest, RandomRunsKeepTheOrderOfEverythingElse) {
    std::mt19937 random(20240611);
    for (int run = 0; run < 25; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        // The model: a queue where a keyed step takes the place of the waiting one of its key.
        std::vector<Step> steps;
        std::vector<std::size_t> queue;
        const int count = 5 + int(random() % 20);
        for (int i = 0; i < count; ++i) {
            Step s;
            switch (random() % 7) {
            case 0:
                s = {"live", "Tekst " + std::to_string(i), "live", false};
                break;
            case 1:
                s = {"live", "", "live", false};
                break;
            case 2:
                s = {"brightness", std::to_string(1 + random() % 100), "brightness", false};
                break;
            case 3:
                s = {"speed", std::to_string(1 + random() % 20), "speed", false};
                break;
            case 4:
                s = {"message/" + std::to_string(1 + random() % 8), "Komunikat " + std::to_string(i), "", false};
                break;
            case 5:
                s = {"show", std::to_string(1 + random() % 9), "", false};
                break;
            default:
                s = {"displaytime", std::to_string(random() % 135), "displaytime", false};
                break;
            }
            steps.push_back(s);
            const std::size_t index = steps.size() - 1;
            auto older = s.key.empty() ? queue.end()
                                       : std::find_if(queue.begin(), queue.end(), [&](std::size_t q) {
                                             return steps[q].key == s.key;
                                         });
            if (older != queue.end()) {
                steps[*older].replaced = true;
                *older = index;
            } else {
                queue.push_back(index);
            }
        }

        HeldSign sign;
        ASSERT_TRUE(sign.ready());
        auto held = sign.hold();
        std::vector<std::future<JobOutcome>> futures;
        for (const Step& s : steps) futures.push_back(sign.worker().submit(Command(s.command, s.payload)));
        EXPECT_EQ(sign.worker().status().queue, int(queue.size()));
        sign.release();
        held.get();
        for (std::size_t i = 0; i < steps.size(); ++i)
            EXPECT_EQ(futures[i].get().result, steps[i].replaced ? JobResult::Replaced : JobResult::Ok)
                << steps[i].command << " " << steps[i].payload;

        const std::vector<Sent> got = sign.frames(), expected = Expected(steps, queue);
        ASSERT_EQ(got.size(), expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].command, expected[i].command) << "frame " << i;
            EXPECT_EQ(got[i].payload, expected[i].payload) << "frame " << i;
        }
    }
}

} // namespace
} // namespace pixbar::service
