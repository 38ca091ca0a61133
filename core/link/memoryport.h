#pragma once

#include "linkclock.h"
#include "unitcomport.h"

#include <deque>
#include <functional>
#include <vector>

namespace pixbar {

/// A clock that moves only when slept on; it records every pause.
class FakeClock : public LinkClock {
public:
    std::int64_t elapsedMs() override { return m_now; }
    void sleepMs(int ms) override {
        m_sleeps.push_back(ms);
        if (ms > 0) m_now += ms;
    }
    LocalTime localTime() override { return m_local; }

    void setLocalTime(LocalTime t) { m_local = t; }
    const std::vector<int>& sleeps() const { return m_sleeps; }
    void clearSleeps() { m_sleeps.clear(); }

private:
    std::int64_t m_now = 0;
    LocalTime m_local;
    std::vector<int> m_sleeps;
};

/// An in-memory serial device: it records what is written, and a responder decides what
/// "arrives" after each write. Waiting for data costs time on the fake clock only.
class MemoryPort : public PortDevice {
public:
    using Responder = std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t>)>;

    explicit MemoryPort(LinkClock& clock) : m_clock(clock) {}

    bool open(const QString& location) override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    bool waitForData(int ms) override;
    void discardInput() override { m_incoming.clear(); }

    /// Called with each written buffer; its result is queued as incoming bytes.
    void setResponder(Responder r) { m_responder = std::move(r); }
    /// Queues incoming bytes now.
    void feed(std::span<const std::uint8_t> bytes) {
        m_incoming.insert(m_incoming.end(), bytes.begin(), bytes.end());
    }
    /// At most this many bytes per read (0: no limit), to split replies over several reads.
    void setReadChunk(std::size_t n) { m_readChunk = n; }
    void setOpenable(bool on) { m_openable = on; }

    const std::vector<std::vector<std::uint8_t>>& writes() const { return m_writes; }
    const QString& openedLocation() const { return m_location; }
    std::size_t readCalls() const { return m_reads; }

private:
    LinkClock& m_clock;
    Responder m_responder;
    std::deque<std::uint8_t> m_incoming;
    std::vector<std::vector<std::uint8_t>> m_writes;
    QString m_location;
    std::size_t m_readChunk = 0;
    std::size_t m_reads = 0;
    bool m_open = false;
    bool m_openable = true;
};

} // namespace pixbar
