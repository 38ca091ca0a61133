#pragma once

#include "apirequests.h"
#include "schedule.h"
#include "scheduletimes.h"
#include "serviceconfig.h"
#include "signworker.h"

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pixbar::service {

/// The schedules of a service's signs: each due entry becomes a job in its sign's queue, in
/// order. `poll` does the work and says when to come back; `start` runs it on a thread that
/// sleeps until then (or until a schedule changes or a sign comes online).
class SignSchedules {
public:
    using Log = std::function<void(const std::string&)>;

    explicit SignSchedules(ScheduleTime time, Log log = {});
    ~SignSchedules();
    SignSchedules(const SignSchedules&) = delete;
    SignSchedules& operator=(const SignSchedules&) = delete;

    /// A sign and its schedule file (empty: the sign has none, only the daily clock).
    void add(SignWorker& worker, const std::filesystem::path& file);

    /// Submits what is due on every sign (a sign that came online catches up) and gives the
    /// next instant something is due.
    std::optional<QDateTime> poll();
    void start();
    /// Ends the thread; safe to call twice.
    void stop();

    /// GET and PUT of /api/v1/signs/{name}/schedule.
    ApiResponse get(const std::string& sign);
    ApiResponse put(const std::string& sign, const ApiRequest& request);

private:
    struct Sign {
        SignWorker* worker = nullptr;
        std::filesystem::path file;
        std::string text;  ///< as last read
        Schedule schedule; ///< parsed from `text`
        std::unique_ptr<ScheduleRunner> runner;
        bool wasOnline = false;
        bool cameOnline = false;
        bool polled = false; ///< the first poll, which catches up, has been
    };
    struct Planned {
        Sign* sign;
        DueEntry due;
    };

    void load(Sign& sign, std::string text);
    /// Reads the file again when it changed on the disk; under m_mutex.
    void refresh(Sign& sign);
    void statusChanged(Sign& sign);
    void submit(const Planned& planned);
    std::string body(const Sign& sign) const;
    void run();

    const ScheduleTime m_time;
    const Log m_log;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<std::string, std::unique_ptr<Sign>> m_signs;
    bool m_poked = false;
    bool m_stopping = false;
    std::thread m_thread;
};

/// Reads each sign's schedule file and names every problem: "FILE:LINE:COL: message", a file
/// that is missing or cannot be read.
std::vector<std::string> CheckSchedules(const std::vector<SignEntry>& signs);

} // namespace pixbar::service
