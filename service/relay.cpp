#include "relay.h"

#include <algorithm>
#include <chrono>

namespace pixbar::service {

FrameSplitter::FrameSplitter() {
    m_decoder.setAcceptAnyDestination(true);
    m_decoder.setAcceptIdentify(true);
}

void FrameSplitter::feed(std::span<const std::uint8_t> bytes,
                         const std::function<void(std::span<const std::uint8_t>)>& frame) {
    for (std::uint8_t raw : bytes) {
        if (raw == kFrameStart && !m_decoder.escapePending()) {
            m_raw.clear();
            m_tooLong = false;
            m_raw.push_back(raw);
        } else if (!m_raw.empty() || m_tooLong) {
            if (m_raw.size() >= kFrameCapacity) {
                // Longer than any frame a program sends: its end is dropped with it.
                m_raw.clear();
                m_tooLong = true;
            } else if (!m_tooLong) {
                m_raw.push_back(raw);
            }
        }
        switch (m_decoder.feed(raw)) {
        case FrameDecoder::Event::Complete:
            if (!m_tooLong && !m_raw.empty()) frame(m_raw);
            m_raw.clear();
            m_tooLong = false;
            break;
        case FrameDecoder::Event::Rejected:
            m_raw.clear();
            m_tooLong = false;
            break;
        case FrameDecoder::Event::None:
            break;
        }
    }
}

std::int64_t SteadyRelayClock::nowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void SteadyRelayClock::waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                               int ms) {
    wake.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)));
}

std::shared_ptr<Relay> Relay::Create(SignWorker& worker, RelayClock& clock,
                                     std::function<void(const std::string&)> log) {
    return std::shared_ptr<Relay>(new Relay(worker, clock, std::move(log)));
}

Relay::Relay(SignWorker& worker, RelayClock& clock, std::function<void(const std::string&)> log)
    : m_worker(worker), m_clock(clock), m_log(std::move(log)) {}

void Relay::log(const std::string& text) const {
    if (m_log) m_log(m_worker.entry().name + ": " + text);
}

Relay::ClientId Relay::connect(std::string peer, RelayClientLink link) {
    auto client = std::make_shared<Client>();
    client->peer = std::move(peer);
    client->link = std::move(link);
    std::lock_guard lock(m_mutex);
    const ClientId id = m_next++;
    m_clients.emplace(id, std::move(client));
    return id;
}

void Relay::received(ClientId id, std::span<const std::uint8_t> bytes) {
    bool ask = false;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_clients.find(id);
        if (it == m_clients.end() || m_stopping) return;
        Client& c = *it->second;
        const std::int64_t now = m_clock.nowMs();
        c.splitter.feed(bytes, [&](std::span<const std::uint8_t> frame) {
            if (m_owner == id) {
                // A client that sends faster than the line takes loses what does not fit.
                if (c.ownedBytes + frame.size() > kRelayClientBytes) return;
                c.owned.emplace_back(frame.begin(), frame.end());
                c.ownedBytes += frame.size();
                return;
            }
            // A repeated frame is one request: its age counts from its first copy.
            if (!c.waiting || !std::equal(frame.begin(), frame.end(), c.waiting->frame.begin(),
                                          c.waiting->frame.end()))
                c.waiting = Waiting{{frame.begin(), frame.end()}, now};
            if (!c.requested) ask = c.requested = true;
        });
        if (m_owner == id) m_wake.notify_all();
    }
    if (ask) request(id);
}

void Relay::request(ClientId id) {
    std::weak_ptr<Relay> self = weak_from_this();
    Job job("relay", [self, id](JobContext& context) {
        const std::shared_ptr<Relay> relay = self.lock();
        return relay ? relay->serve(id, context) : ProtocolResult::Ok;
    });
    m_worker.submit(std::move(job), [self, id](const JobOutcome& outcome) {
        if (outcome.result == JobResult::Ok) return;
        // Not run (the sign is offline or the service stops): the frame waits no longer, and
        // the client hears nothing, as from a sign that is not there.
        const std::shared_ptr<Relay> relay = self.lock();
        if (!relay) return;
        std::lock_guard lock(relay->m_mutex);
        if (const auto it = relay->m_clients.find(id); it != relay->m_clients.end()) {
            it->second->requested = false;
            it->second->waiting.reset();
        }
    });
}

void Relay::disconnected(ClientId id) {
    std::lock_guard lock(m_mutex);
    const auto it = m_clients.find(id);
    if (it == m_clients.end()) return;
    // A frame the client did not finish is dropped with it.
    it->second->gone = true;
    m_clients.erase(it);
    m_wake.notify_all();
}

void Relay::stop() {
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
}

ProtocolResult Relay::serve(ClientId id, JobContext& context) {
    std::shared_ptr<Client> client;
    std::vector<std::uint8_t> first;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_clients.find(id);
        if (it == m_clients.end() || m_stopping) return ProtocolResult::Ok;
        client = it->second;
        client->requested = false;
        if (!client->waiting) return ProtocolResult::Ok;
        const std::int64_t age = m_clock.nowMs() - client->waiting->firstSeenMs;
        first = std::move(client->waiting->frame);
        client->waiting.reset();
        // The client has given this frame up; the sign stays as it was.
        if (age > kRelayWaitLimitMs) return ProtocolResult::Ok;
        m_owner = id;
        client->owned.clear();
        client->ownedBytes = 0;
    }
    m_worker.updateStatus([&](SignStatus& s) { s.relayClient = client->peer; });
    const TurnEnd end = turn(*client, context.protocol.port().device(), std::move(first));
    bool again = false;
    {
        std::lock_guard lock(m_mutex);
        m_owner = 0;
        // A frame that came as the turn ended waits for the next one like any other.
        if (!client->owned.empty() && !client->gone && !m_stopping && end == TurnEnd::Quiet) {
            client->waiting = Waiting{std::move(client->owned.back()), m_clock.nowMs()};
            again = client->requested = true;
        }
        client->owned.clear();
        client->ownedBytes = 0;
    }
    m_worker.updateStatus([](SignStatus& s) { s.relayClient.reset(); });
    if (again) request(id);
    if (end == TurnEnd::Held) {
        log("relay client " + client->peer + " held the line " +
            std::to_string(kRelayHoldMs / 1000) + " s without a pause; disconnected");
        if (client->link.close) client->link.close();
    }
    // A lost port is the worker's to notice; it asks the port after a silent job.
    return end == TurnEnd::Lost ? ProtocolResult::NoReply : ProtocolResult::Ok;
}

Relay::TurnEnd Relay::turn(Client& client, PortDevice& port, std::vector<std::uint8_t> first) {
    std::array<std::uint8_t, kReplyCapacity> buffer{};
    FrameSplitter answer;
    bool answered = false;
    const auto forward = [&] {
        for (;;) {
            const std::size_t n = port.read(buffer);
            if (n == 0) return;
            const std::span<const std::uint8_t> bytes(buffer.data(), n);
            if (client.link.send) client.link.send(bytes);
            answer.feed(bytes, [&](std::span<const std::uint8_t>) { answered = true; });
        }
    };
    const auto write = [&](const std::vector<std::uint8_t>& frame) {
        answered = false;
        return port.write(frame) == frame.size();
    };

    // What the sign sent before this turn answers nobody in it.
    port.discardInput();
    const std::int64_t start = m_clock.nowMs();
    std::int64_t lastFrame = start;
    std::int64_t answerDue = start + kRelayReplyMs;
    if (!write(first)) return TurnEnd::Lost;

    std::vector<std::vector<std::uint8_t>> frames;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (client.gone || m_stopping) return TurnEnd::Gone;
            const std::int64_t now = m_clock.nowMs();
            if (now - start >= kRelayHoldMs) return TurnEnd::Held;
            frames.swap(client.owned);
            client.ownedBytes = 0;
            if (frames.empty()) {
                if (now - lastFrame >= kRelayIdleMs) return TurnEnd::Quiet;
                if (answered || now >= answerDue) {
                    // Nothing due from the sign: sleep until the client sends, looking at the
                    // port now and then for a late answer.
                    const std::int64_t left =
                        std::min(lastFrame + kRelayIdleMs, start + kRelayHoldMs) - now;
                    m_clock.waitFor(lock, m_wake,
                                    int(std::min<std::int64_t>(left, kRelayQuietSliceMs)));
                    lock.unlock();
                    forward();
                    continue;
                }
            }
        }
        if (!frames.empty()) {
            // The sign's bytes so far reach the client before its next frame goes out.
            forward();
            for (const std::vector<std::uint8_t>& frame : frames)
                if (!write(frame)) return TurnEnd::Lost;
            frames.clear();
            lastFrame = m_clock.nowMs();
            answerDue = lastFrame + kRelayReplyMs;
        }
        port.waitForData(kRelaySliceMs);
        forward();
    }
}

} // namespace pixbar::service
