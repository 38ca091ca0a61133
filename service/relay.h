#pragma once

#include "signframe.h"
#include "signworker.h"
#include "unitcomprotocol.h"

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pixbar::service {

/// A relay client's turn ends after this long without a frame from it.
inline constexpr int kRelayIdleMs = 500;
/// A client that holds the line this long without a pause is cut off.
inline constexpr int kRelayHoldMs = 60'000;
/// How long a client's program retries one frame: every attempt's polls and the pauses.
inline constexpr int kClientRetriesMs = kTransactAttempts * kTransactPolls * kTransactPollMs +
                                        (kTransactAttempts - 1) * kRetryPauseMs;
/// A frame that has waited this long for the line is not sent: the client's last attempt has
/// left by then and the client counts the sign as silent.
inline constexpr int kRelayWaitLimitMs = kClientRetriesMs - kTransactPolls * kTransactPollMs;
/// After a frame the sign's answer is awaited this long, the port asked in short slices.
inline constexpr int kRelayReplyMs = kTransactPolls * kTransactPollMs;
inline constexpr int kRelaySliceMs = 1;
/// While no answer is due the owner's frames are awaited; the port is looked at this often.
inline constexpr int kRelayQuietSliceMs = 20;
/// Frames of one client held for the line at most.
inline constexpr std::size_t kRelayClientBytes = 4 * kFrameCapacity;

/// Cuts a byte stream into whole frames of the sign, to any address, the identify frame
/// included; bytes outside a frame and frames that do not check out are dropped.
class FrameSplitter {
public:
    FrameSplitter();
    FrameSplitter(const FrameSplitter&) = delete;
    FrameSplitter& operator=(const FrameSplitter&) = delete;

    /// Calls `frame` with the raw bytes of each frame completed by `bytes`.
    void feed(std::span<const std::uint8_t> bytes,
              const std::function<void(std::span<const std::uint8_t>)>& frame);
    /// True while the bytes so far began a frame that has not ended.
    bool midFrame() const { return !m_raw.empty(); }

private:
    std::array<std::uint8_t, kFrameCapacity> m_payload{};
    FrameDecoder m_decoder{m_payload};
    std::vector<std::uint8_t> m_raw;
    bool m_tooLong = false;
};

/// Time as the relay sees it; tests give a fake one.
class RelayClock {
public:
    virtual ~RelayClock() = default;
    virtual std::int64_t nowMs() = 0;
    /// Waits on `wake` (its mutex held by `lock`) at most `ms`.
    virtual void waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                         int ms) = 0;
};

class SteadyRelayClock : public RelayClock {
public:
    std::int64_t nowMs() override;
    void waitFor(std::unique_lock<std::mutex>& lock, std::condition_variable& wake,
                 int ms) override;
};

/// What the relay does to a client's connection; called on the sign worker's thread.
struct RelayClientLink {
    std::function<void(std::span<const std::uint8_t>)> send; ///< the sign's bytes, to the client
    std::function<void()> close; ///< the relay cut the client off
};

/// Lends one sign's line to programs that speak the sign's protocol themselves: a client's
/// frame becomes a "relay" job in the sign's queue, behind the service's own jobs; while the
/// job runs the client owns the line, and the sign's answers go to it alone.
class Relay : public std::enable_shared_from_this<Relay> {
public:
    using ClientId = std::uint64_t;

    static std::shared_ptr<Relay> Create(SignWorker& worker, RelayClock& clock,
                                         std::function<void(const std::string&)> log = {});
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;

    /// A client connected from `peer` ("ADDRESS:PORT").
    ClientId connect(std::string peer, RelayClientLink link);
    /// Bytes from a client, as they came.
    void received(ClientId id, std::span<const std::uint8_t> bytes);
    /// The client is gone; its turn, if it has one, ends at once.
    void disconnected(ClientId id);
    /// Ends the turn in progress and takes no more frames.
    void stop();

private:
    struct Waiting {
        std::vector<std::uint8_t> frame;
        std::int64_t firstSeenMs = 0;
    };
    struct Client {
        std::string peer;
        RelayClientLink link;
        FrameSplitter splitter;
        std::optional<Waiting> waiting; ///< the one frame kept while the line is taken
        std::vector<std::vector<std::uint8_t>> owned; ///< frames of its turn not yet written
        std::size_t ownedBytes = 0;
        bool requested = false; ///< a job for it is in the sign's queue
        bool gone = false;
    };
    enum class TurnEnd { Quiet, Gone, Held, Lost };

    Relay(SignWorker& worker, RelayClock& clock, std::function<void(const std::string&)> log);
    void request(ClientId id);
    ProtocolResult serve(ClientId id, JobContext& context);
    TurnEnd turn(Client& client, PortDevice& port, std::vector<std::uint8_t> first);
    void log(const std::string& text) const;

    SignWorker& m_worker;
    RelayClock& m_clock;
    const std::function<void(const std::string&)> m_log;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::map<ClientId, std::shared_ptr<Client>> m_clients;
    ClientId m_next = 1;
    ClientId m_owner = 0;
    bool m_stopping = false;
};

} // namespace pixbar::service
