#include "signworker.h"

#include "tcpport.h"

#include <algorithm>

#include <QFileInfo>

namespace pixbar::service {

const char* JobResultName(JobResult result) {
    switch (result) {
    case JobResult::Ok:
        return "Ok";
    case JobResult::NoReply:
        return "NoReply";
    case JobResult::Rejected:
        return "Rejected";
    case JobResult::Offline:
        return "Offline";
    case JobResult::BadInput:
        return "BadInput";
    case JobResult::Replaced:
        return "Replaced";
    case JobResult::Stopped:
        return "Stopped";
    }
    return "?";
}

namespace {

constexpr const char* kOfflineText = "linijka niedostępna: nie mogę otworzyć portu";
constexpr const char* kLostText = "linijka niedostępna: połączenie z portem zostało przerwane";
constexpr const char* kNoReplyText = "linijka nie odpowiada";
constexpr const char* kRejectedText = "linijka odrzuciła polecenie";
constexpr const char* kStoppedText = "usługa kończy pracę";

JobOutcome outcomeOf(ProtocolResult r) {
    switch (r) {
    case ProtocolResult::Ok:
        return {JobResult::Ok, {}};
    case ProtocolResult::NoReply:
        return {JobResult::NoReply, kNoReplyText};
    case ProtocolResult::Rejected:
        return {JobResult::Rejected, kRejectedText};
    case ProtocolResult::BadSlot:
        return {JobResult::BadInput, "numer komunikatu poza zakresem"};
    case ProtocolResult::TooLong:
        return {JobResult::BadInput, "tekst za długi dla jednej ramki"};
    }
    return {JobResult::NoReply, kNoReplyText};
}

} // namespace

SignWorker::SignWorker(SignEntry sign, ProtocolFactory factory, std::chrono::milliseconds retry)
    : m_sign(std::move(sign)), m_factory(std::move(factory)), m_retry(retry) {
    m_status.settings = {m_sign.brightness, m_sign.speed, m_sign.displayTime};
    m_thread = std::thread([this] { run(); });
}

SignWorker::~SignWorker() {
    stop();
}

std::future<JobOutcome> SignWorker::submit(Job job) {
    auto promise = std::make_shared<std::promise<JobOutcome>>();
    std::future<JobOutcome> future = promise->get_future();
    submit(std::move(job), [promise](const JobOutcome& outcome) { promise->set_value(outcome); });
    return future;
}

void SignWorker::submit(Job job, std::function<void(const JobOutcome&)> done) {
    std::optional<JobOutcome> refused;
    std::optional<Pending> replaced;
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping) {
            refused = JobOutcome{JobResult::Stopped, kStoppedText};
        } else if (!m_status.online) {
            refused = JobOutcome{JobResult::Offline, kOfflineText};
        } else {
            auto older = job.replaces.empty()
                             ? m_queue.end()
                             : std::find_if(m_queue.begin(), m_queue.end(), [&](const Pending& p) {
                                   return p.job.replaces == job.replaces;
                               });
            if (older != m_queue.end()) {
                // The newer value takes the older one's place, so nothing else moves.
                replaced = std::move(*older);
                *older = Pending{std::move(job), std::move(done)};
            } else {
                m_queue.push_back(Pending{std::move(job), std::move(done)});
            }
            m_status.queue = int(m_queue.size());
            m_wake.notify_all();
        }
    }
    if (refused) done(*refused);
    if (replaced) replaced->done({JobResult::Replaced, "zastąpione nowszą wartością"});
    notify();
}

void SignWorker::setObserver(std::function<void()> observer) {
    std::lock_guard lock(m_mutex);
    m_observer = std::move(observer);
}

void SignWorker::notify() const {
    std::function<void()> observer;
    {
        std::lock_guard lock(m_mutex);
        observer = m_observer;
    }
    if (observer) observer();
}

void SignWorker::stop() {
    std::deque<Pending> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_queue);
        m_status.queue = 0;
        m_wake.notify_all();
    }
    for (Pending& p : dropped) p.done({JobResult::Stopped, kStoppedText});
    if (m_thread.joinable()) m_thread.join();
    notify();
}

void SignWorker::retryNow() {
    std::lock_guard lock(m_mutex);
    m_retryNow = true;
    m_wake.notify_all();
}

SignStatus SignWorker::status() const {
    std::lock_guard lock(m_mutex);
    return m_status;
}

void SignWorker::updateStatus(const std::function<void(SignStatus&)>& change) {
    {
        std::lock_guard lock(m_mutex);
        change(m_status);
    }
    notify();
}

bool SignWorker::openPort() {
    m_protocol = m_factory();
    if (!m_protocol || m_protocol->Open(QString::fromStdString(m_sign.port)) != 0) {
        m_protocol.reset();
        return false;
    }
    return true;
}

void SignWorker::closePort() {
    if (m_protocol) m_protocol->Close();
    m_protocol.reset();
}

bool SignWorker::portLost() {
    if (!m_protocol || !m_protocol->port().isOpen()) return true;
    const QString name = QString::fromStdString(m_sign.port);
    if (IsTcpPortName(name)) return ConnectionLost(m_protocol->port());
    // A serial adapter pulled out takes its device file with it.
    const QString location = m_protocol->port().resolve(name);
    return location.isEmpty() || !QFileInfo::exists(location);
}

JobOutcome SignWorker::execute(Job& job) {
    if (portLost()) {
        closePort();
        return {JobResult::Offline, kLostText};
    }
    SignSettings settings;
    {
        std::lock_guard lock(m_mutex);
        settings = m_status.settings;
    }
    JobContext context{*m_protocol, m_sign.address, settings};
    JobOutcome outcome = outcomeOf(job.run(context));
    if (outcome.result == JobResult::Ok) {
        std::lock_guard lock(m_mutex);
        m_status.settings = settings;
        if (job.applied) job.applied(m_status);
    } else if (outcome.result == JobResult::NoReply && portLost()) {
        closePort();
        outcome = {JobResult::Offline, kLostText};
    }
    return outcome;
}

void SignWorker::finish(Pending& pending, JobOutcome outcome) {
    {
        std::lock_guard lock(m_mutex);
        m_status.busy = false;
        m_status.lastResult = outcome.result;
        m_status.lastError = outcome.error;
        if (!m_protocol) m_status.online = false;
    }
    pending.done(outcome);
    notify();
}

void SignWorker::run() {
    for (;;) {
        if (!m_protocol) {
            bool wasOnline = false;
            {
                std::lock_guard lock(m_mutex);
                wasOnline = m_status.online;
            }
            const bool opened = openPort();
            std::deque<Pending> failed;
            {
                std::unique_lock lock(m_mutex);
                if (m_stopping) break;
                if (!opened) {
                    m_status.online = false;
                    failed.swap(m_queue);
                    m_status.queue = 0;
                }
            }
            for (Pending& p : failed) p.done({JobResult::Offline, kOfflineText});
            if (!opened) {
                if (wasOnline) notify();
                std::unique_lock lock(m_mutex);
                m_wake.wait_for(lock, m_retry, [this] { return m_stopping || m_retryNow; });
                m_retryNow = false;
                if (m_stopping) break;
                continue;
            }
            // Online from here; the sign's version is asked as the first job.
            {
                std::lock_guard lock(m_mutex);
                m_status.online = true;
                m_status.busy = true;
            }
            notify();
            std::uint8_t width = 0, height = 0;
            std::array<char, kVersionSize> version{};
            const bool answered =
                m_protocol->QueryInfo(m_sign.address, width, height, version) == ProtocolResult::Ok;
            const bool lost = !answered && portLost();
            if (lost) closePort();
            {
                std::lock_guard lock(m_mutex);
                m_status.busy = false;
                if (answered) m_status.firmware.assign(version.begin(), version.end());
                if (lost) m_status.online = false;
            }
            notify();
            continue;
        }

        Pending pending;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping) break;
            pending = std::move(m_queue.front());
            m_queue.pop_front();
            m_status.queue = int(m_queue.size());
            m_status.busy = true;
        }
        notify();
        JobOutcome outcome = execute(pending.job);
        finish(pending, std::move(outcome));
    }
    closePort();
    std::lock_guard lock(m_mutex);
    m_status.online = false;
    m_status.busy = false;
}

} // namespace pixbar::service
