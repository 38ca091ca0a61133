#pragma once

#include "serviceconfig.h"
#include "unitcomprotocol.h"

#include <QString>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace pixbar::service {

/// How a job for a sign ended.
enum class JobResult { Ok, NoReply, Rejected, Offline, BadInput, Replaced, Stopped };

const char* JobResultName(JobResult result);

struct JobOutcome {
    JobResult result = JobResult::Ok;
    std::string error; ///< empty on success
};

/// The configuration the service keeps for a sign and sends whole.
struct SignSettings {
    int brightness = 90;
    int speed = 2;
    int displayTime = 12;
    friend bool operator==(const SignSettings&, const SignSettings&) = default;
};

/// What a job may use while it runs on the sign's thread.
struct JobContext {
    ComProtocol& protocol;
    std::uint16_t address;
    SignSettings& settings; ///< changed by a job that sent it successfully
};

struct SignStatus;

/// One request to the sign: the protocol operations it runs, in one piece.
struct Job {
    Job() = default;
    Job(std::string k, std::function<ProtocolResult(JobContext&)> r)
        : kind(std::move(k)), run(std::move(r)) {}

    std::string kind; ///< "message", "set", "show", ... for the status and the log
    std::function<ProtocolResult(JobContext&)> run;
    /// Jobs with the same non-empty key are "latest value wins": a newer one takes the place
    /// of an older one still waiting, which ends Replaced.
    std::string replaces;
    /// What a successful run changes in the sign's state (the slot shown, the live text).
    std::function<void(SignStatus&)> applied;
};

/// A snapshot of a sign's state for the API.
struct SignStatus {
    bool online = false;
    bool busy = false;
    int queue = 0;
    std::optional<JobResult> lastResult;
    std::string lastError;
    std::string firmware; ///< the version the sign gave, empty when unknown
    SignSettings settings;
    std::optional<int> shown;        ///< the slot last shown through the service
    std::optional<std::string> live; ///< the live text (slot 9) set through the service
    /// "ADDRESS:PORT" of the relay client that holds the line now
    std::optional<std::string> relayClient;
};

/// Opens and reopens a sign's port: the real serial and TCP ports, or a test's memory port.
using ProtocolFactory = std::function<std::unique_ptr<ComProtocol>()>;

/// The one owner of a sign's line: a thread that opens the port, holds it while the service
/// runs and runs jobs one at a time in arrival order. A port that cannot be opened, or is
/// lost, makes the sign offline; the worker opens it again every `retry` until it answers.
class SignWorker {
public:
    SignWorker(SignEntry sign, ProtocolFactory factory,
               std::chrono::milliseconds retry = std::chrono::seconds(2));
    ~SignWorker();
    SignWorker(const SignWorker&) = delete;
    SignWorker& operator=(const SignWorker&) = delete;

    /// Queues a job; the future gives its outcome once it has run. A job for an offline sign,
    /// or one that arrives while the service stops, ends at once.
    std::future<JobOutcome> submit(Job job);
    /// The same, with `done` called (on any thread, never under the worker's lock) instead.
    void submit(Job job, std::function<void(const JobOutcome&)> done);
    /// Called after every change of the status (queue, busy, online, results), off the lock.
    /// Set it before jobs arrive.
    void setObserver(std::function<void()> observer);
    /// Lets the job in progress end, answers every queued job with Stopped and closes the port.
    void stop();

    SignStatus status() const;
    /// Changes the status from a running job (the relay's owner) and tells the observer.
    void updateStatus(const std::function<void(SignStatus&)>& change);
    const SignEntry& entry() const { return m_sign; }
    /// Wakes the worker so an offline sign tries its port now (tests, and a config reload).
    void retryNow();

private:
    struct Pending {
        Job job;
        std::function<void(const JobOutcome&)> done;
    };
    void run();
    bool openPort();
    void closePort();
    bool portLost();
    JobOutcome execute(Job& job);
    void finish(Pending& pending, JobOutcome outcome);
    void notify() const;

    const SignEntry m_sign;
    ProtocolFactory m_factory;
    const std::chrono::milliseconds m_retry;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Pending> m_queue;
    SignStatus m_status;
    bool m_stopping = false;
    bool m_retryNow = false;
    std::function<void()> m_observer;

    std::unique_ptr<ComProtocol> m_protocol; ///< used on the worker's thread only
    std::thread m_thread;
};

} // namespace pixbar::service
