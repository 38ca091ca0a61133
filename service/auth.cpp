#include "auth.h"

#include <QByteArray>
#include <QRandomGenerator>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <fstream>

namespace pixbar::service {

namespace {

constexpr std::size_t kMinTokenLength = 16;
constexpr std::size_t kMaxTokenLength = 4096;
/// Addresses remembered at most; older entries go first.
constexpr std::size_t kMaxTracked = 4096;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

} // namespace

bool ConstantTimeEquals(std::string_view a, std::string_view b) {
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= x ^ y;
    }
    return diff == 0;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray(text.data(), qsizetype(text.size())), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return decoded.decoded.toStdString();
}

TokenGuard::TokenGuard(std::string token, Now now) : m_token(std::move(token)), m_now(std::move(now)) {}

bool TokenGuard::matches(std::string_view authorization) const {
    authorization = trimmed(authorization);
    if (startsWithNoCase(authorization, "bearer "))
        return ConstantTimeEquals(trimmed(authorization.substr(7)), m_token);
    if (startsWithNoCase(authorization, "basic ")) {
        const auto pair = DecodeBase64(trimmed(authorization.substr(6)));
        if (!pair) return false;
        const auto colon = pair->find(':');
        if (colon == std::string::npos) return false;
        return ConstantTimeEquals(std::string_view(*pair).substr(colon + 1), m_token);
    }
    return false;
}

void TokenGuard::forgetOld(std::chrono::steady_clock::time_point now) {
    for (auto it = m_failures.begin(); it != m_failures.end();) {
        const Failures& f = it->second;
        const bool stale =
            (f.recent.empty() || now - f.recent.back() >= kFailureWindow) && now >= f.blockedUntil;
        it = stale ? m_failures.erase(it) : std::next(it);
    }
}

TokenGuard::Verdict TokenGuard::check(const std::string& peer, std::string_view authorization) {
    if (m_token.empty()) return Verdict::Allowed;
    const auto now = m_now();
    std::lock_guard lock(m_mutex);
    const auto found = m_failures.find(peer);
    if (found != m_failures.end() && now < found->second.blockedUntil) return Verdict::TooMany;
    if (matches(authorization)) return Verdict::Allowed;
    // A request that names no token guesses nothing: a browser asks so before its login box.
    if (trimmed(authorization).empty()) return Verdict::Unauthorized;

    if (found == m_failures.end() && m_failures.size() >= kMaxTracked) forgetOld(now);
    Failures& f = m_failures[peer];
    // Any five failures within a minute count, not only five since the first of them: a
    // window that starts afresh would let a guesser try nine times in a few seconds.
    while (!f.recent.empty() && now - f.recent.front() >= kFailureWindow) f.recent.pop_front();
    f.recent.push_back(now);
    // The fifth failure is still told as such; the requests after it are refused for a while.
    if (int(f.recent.size()) >= kMaxFailures) {
        f.blockedUntil = now + kLockout;
        f.recent.clear();
    }
    return Verdict::Unauthorized;
}

std::optional<std::string> ReadTokenFile(const std::filesystem::path& file, std::string& error) {
    struct stat st{};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = file.string() + ": nie można odczytać pliku z tokenem";
        return std::nullopt;
    }
    if ((st.st_mode & 077) != 0) {
        error = file.string() + ": plik z tokenem może czytać tylko jego właściciel (chmod 600)";
        return std::nullopt;
    }
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line) || line.size() > kMaxTokenLength) {
        error = file.string() + ": nie można odczytać pliku z tokenem";
        return std::nullopt;
    }
    const std::string token(trimmed(line));
    if (token.size() < kMinTokenLength) {
        error = file.string() + ": token ma co najmniej 16 znaków";
        return std::nullopt;
    }
    return token;
}

bool WriteNewToken(const std::filesystem::path& file, std::string& error) {
    std::array<quint32, 8> bits{};
    QRandomGenerator::system()->fillRange(bits.data(), qsizetype(bits.size()));
    const QByteArray hex =
        QByteArray(reinterpret_cast<const char*>(bits.data()), qsizetype(sizeof bits)).toHex() + '\n';
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        error = file.string() + ": nie można utworzyć pliku (może już istnieje?)";
        return false;
    }
    const bool written = ::write(fd, hex.constData(), std::size_t(hex.size())) == hex.size();
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        error = file.string() + ": nie można zapisać tokenu";
        ::unlink(file.c_str());
        return false;
    }
    return true;
}

} // namespace pixbar::service
