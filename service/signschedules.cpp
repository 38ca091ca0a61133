#include "signschedules.h"

#include "schedulejobs.h"

#include <chrono>
#include <cstdio>

namespace pixbar::service {

namespace {

void logToStderr(const std::string& line) {
    std::fprintf(stderr, "pixbard: %s\n", line.c_str());
}

std::string describe(const std::string& sign, const DueEntry& d) {
    // The built-in clock runs at 03:00 and whenever the sign comes online.
    if (d.entry.line == 0) return sign + ": harmonogram: ustawienie zegara";
    return sign + ": harmonogram " + d.entry.timeText() + " " + d.entry.actionText + " (wiersz " +
           std::to_string(d.entry.line) + ")";
}

} // namespace

SignSchedules::SignSchedules(ScheduleTime time, Log log)
    : m_time(std::move(time)), m_log(log ? std::move(log) : Log(logToStderr)) {}

SignSchedules::~SignSchedules() {
    stop();
}

void SignSchedules::add(SignWorker& worker, const std::filesystem::path& file) {
    auto sign = std::make_unique<Sign>();
    sign->worker = &worker;
    sign->file = file;
    sign->runner = std::make_unique<ScheduleRunner>(m_time.zone);
    Sign* s = sign.get();
    {
        std::lock_guard lock(m_mutex);
        refresh(*s);
        m_signs.emplace(worker.entry().name, std::move(sign));
    }
    worker.addObserver([this, s] { statusChanged(*s); });
    // A sign that was online before we watched it is caught up by the first poll, not again.
    const bool online = worker.status().online;
    std::lock_guard lock(m_mutex);
    s->wasOnline = s->wasOnline || online;
}

void SignSchedules::load(Sign& sign, std::string text) {
    sign.text = std::move(text);
    sign.schedule = ParseSchedule(sign.text);
    for (const TextError& e : sign.schedule.errors)
        m_log(sign.file.string() + ":" + e.where() + " (wiersz pominięty)");
    sign.runner->setEntries(sign.schedule.entries);
}

void SignSchedules::refresh(Sign& sign) {
    if (sign.file.empty()) return;
    std::string error;
    std::string text = ReadScheduleText(sign.file, error).value_or(std::string());
    if (!error.empty()) m_log(error);
    if (text != sign.text) load(sign, std::move(text));
}

void SignSchedules::statusChanged(Sign& sign) {
    const bool online = sign.worker->status().online;
    std::lock_guard lock(m_mutex);
    if (online && !sign.wasOnline) {
        sign.cameOnline = true;
        m_poked = true;
        m_wake.notify_all();
    }
    sign.wasOnline = online;
}

std::optional<QDateTime> SignSchedules::poll() {
    const QDateTime now = m_time.now();
    std::vector<Planned> planned;
    std::optional<QDateTime> next;
    {
        std::lock_guard lock(m_mutex);
        for (auto& [name, sign] : m_signs) {
            std::vector<DueEntry> due;
            if (sign->cameOnline) {
                sign->cameOnline = false;
                due = sign->runner->catchUp(now);
            } else {
                due = sign->runner->advance(now);
                // At start a sign whose port is still being opened is caught up when it comes
                // online; sent now, the same entries would only end Offline.
                if (!sign->polled && !sign->wasOnline) due.clear();
            }
            sign->polled = true;
            for (DueEntry& d : due) planned.push_back({sign.get(), std::move(d)});
            if (const auto at = sign->runner->nextWake(); at && (!next || *at < *next)) next = at;
        }
    }
    // Outside the lock: a worker tells its observers while a job is submitted.
    for (const Planned& p : planned) submit(p);
    return next;
}

void SignSchedules::submit(const Planned& p) {
    const std::string name = p.sign->worker->entry().name;
    const std::filesystem::path folder = p.sign->file.parent_path();
    auto job = ScheduleJob(p.due.entry, folder.empty() ? std::filesystem::path(".") : folder);
    if (auto* error = std::get_if<std::string>(&job)) {
        m_log(describe(name, p.due) + ": " + *error);
        return;
    }
    p.sign->worker->submit(std::move(std::get<Job>(job)),
                           [log = m_log, what = describe(name, p.due)](const JobOutcome& o) {
                               log(what + ": " + JobResultName(o.result) +
                                   (o.error.empty() ? "" : " (" + o.error + ")"));
                           });
}

void SignSchedules::start() {
    std::lock_guard lock(m_mutex);
    if (m_thread.joinable() || m_stopping) return;
    m_thread = std::thread([this] { run(); });
}

void SignSchedules::stop() {
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_wake.notify_all();
    }
    if (m_thread.joinable()) m_thread.join();
}

void SignSchedules::run() {
    for (;;) {
        const std::optional<QDateTime> next = poll();
        std::unique_lock lock(m_mutex);
        const auto woken = [this] { return m_stopping || m_poked; };
        if (next) {
            // The wall clock's time point, so a clock set while asleep moves the wake-up too.
            const auto at = std::chrono::system_clock::time_point(
                std::chrono::milliseconds(next->toMSecsSinceEpoch()));
            m_wake.wait_until(lock, at, woken);
        } else {
            m_wake.wait(lock, woken);
        }
        if (m_stopping) return;
        m_poked = false;
    }
}

} // namespace pixbar::service
