#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace pixbar::service {

/// Failed attempts from one address that are allowed within a minute before it is refused.
inline constexpr int kMaxFailures = 5;
inline constexpr std::chrono::seconds kFailureWindow{60};
inline constexpr std::chrono::seconds kLockout{60};

/// Checks the token of every request: `Authorization: Bearer TOKEN`, or HTTP Basic with any
/// user name and the token as password. An address that gives a wrong token five times within
/// a minute is refused for a minute; a request without a token is refused but not counted.
class TokenGuard {
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;
    enum class Verdict { Allowed, Unauthorized, TooMany };

    /// An empty token lets every request in.
    explicit TokenGuard(std::string token, Now now = std::chrono::steady_clock::now);

    Verdict check(const std::string& peer, std::string_view authorization);
    bool enabled() const { return !m_token.empty(); }

private:
    struct Failures {
        std::deque<std::chrono::steady_clock::time_point> recent; ///< within the last minute
        std::chrono::steady_clock::time_point blockedUntil{};
    };
    bool matches(std::string_view authorization) const;
    void forgetOld(std::chrono::steady_clock::time_point now);

    const std::string m_token;
    Now m_now;
    std::mutex m_mutex;
    std::map<std::string, Failures> m_failures;
};

/// Compares without stopping at the first difference, so the time says nothing of the token.
bool ConstantTimeEquals(std::string_view a, std::string_view b);
/// The bytes of a base64 text; nothing when it is not one.
std::optional<std::string> DecodeBase64(std::string_view text);

/// Reads a token file: the token is its first line, at least 16 characters. The file must not
/// be readable by group or others. `error` says why a file is refused.
std::optional<std::string> ReadTokenFile(const std::filesystem::path& file, std::string& error);
/// Writes a new token of 256 random bits (64 hex digits) to a new file of mode 0600.
bool WriteNewToken(const std::filesystem::path& file, std::string& error);

} // namespace pixbar::service
