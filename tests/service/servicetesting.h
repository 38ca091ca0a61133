#pragma once

// A sign on a memory port, handed to the service through its protocol factory: it answers
// every frame addressed to it, or refuses, or stays silent, and keeps what reached it.

#include "linktesting.h"
#include "apirequests.h"
#include "signworker.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pixbar::service::testing {

using pixbar::testing::Bytes;
using pixbar::testing::Sent;

inline constexpr char kFirmware[] = "V1.07";

/// One sign on the fake line, reached through its port name.
class FakeSign {
public:
    enum class Mode { Answer, Reject, Silent };

    /// Port names are TCP ones, which the worker never looks up as devices.
    FakeSign(std::string port, std::uint16_t address, int width = 12, int height = 8)
        : port(std::move(port)), m_address(address), m_width(width), m_height(height) {}

    const std::string port;
    std::atomic<bool> openable{true};
    std::atomic<Mode> mode{Mode::Answer};
    std::atomic<int> opens{0}; ///< attempts to open its port

    /// Frames that reached the sign, as it decoded them.
    std::vector<Sent> frames() const {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    std::size_t bytesSeen() const {
        std::lock_guard lock(m_mutex);
        return m_bytes;
    }

    Bytes answer(std::span<const std::uint8_t> raw) {
        const Sent sent = pixbar::testing::Decode(Bytes(raw.begin(), raw.end()), m_address);
        {
            std::lock_guard lock(m_mutex);
            m_bytes += raw.size();
            m_frames.push_back(sent);
        }
        if (sent.destination != m_address) return {};
        switch (mode.load()) {
        case Mode::Silent:
            return {};
        case Mode::Reject:
            return pixbar::testing::Reply(m_address, 0, 0x81);
        case Mode::Answer:
            break;
        }
        if (sent.command == kCommandQueryInfo) {
            Bytes info{std::uint8_t(m_width), std::uint8_t(m_height)};
            info.insert(info.end(), kFirmware, kFirmware + kVersionSize);
            return pixbar::testing::Reply(m_address, 0, 0x80, info);
        }
        return pixbar::testing::Reply(m_address, 0, 0x80);
    }

private:
    const std::uint16_t m_address;
    const int m_width, m_height;
    mutable std::mutex m_mutex;
    std::vector<Sent> m_frames;
    std::size_t m_bytes = 0;
};

/// The signs a service's factory reaches: each protocol is a memory port on a fake clock that
/// opens as the sign of its port name lets it.
class FakeLine {
public:
    explicit FakeLine(std::vector<FakeSign*> signs) : m_signs(std::move(signs)) {}

    ProtocolFactory factory() {
        return [this]() -> std::unique_ptr<ComProtocol> {
            FakeClock* clock = nullptr;
            {
                std::lock_guard lock(m_mutex);
                clock = &m_clocks.emplace_back(); // a deque keeps earlier clocks in place
            }
            return std::make_unique<ComProtocol>(std::make_unique<SignPort>(*clock, m_signs),
                                                 *clock);
        };
    }

private:
    class SignPort : public MemoryPort {
    public:
        SignPort(LinkClock& clock, const std::vector<FakeSign*>& signs)
            : MemoryPort(clock), m_signs(signs) {}
        bool open(const QString& location) override {
            for (FakeSign* sign : m_signs) {
                if (location.toStdString() != sign->port) continue;
                ++sign->opens;
                if (!sign->openable) return false;
                setResponder([sign](std::span<const std::uint8_t> raw) { return sign->answer(raw); });
                return MemoryPort::open(location);
            }
            return false;
        }

    private:
        const std::vector<FakeSign*>& m_signs;
    };

    const std::vector<FakeSign*> m_signs;
    std::mutex m_mutex;
    std::deque<FakeClock> m_clocks;
};

/// Waits up to five seconds for `condition`.
inline bool WaitFor(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

/// A request as the HTTP side hands it to SignService::handle.
inline ApiRequest Request(std::string method, std::string path, std::string body = {},
                          std::string contentType = {}) {
    ApiRequest r;
    r.method = std::move(method);
    r.path = std::move(path);
    r.body = std::move(body);
    r.contentType = std::move(contentType);
    return r;
}

/// The JSON object of an answer; a body that is not JSON fails the test.
inline QJsonObject Json(const ApiResponse& r) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.body), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << r.body;
    return doc.object();
}

} // namespace pixbar::service::testing
