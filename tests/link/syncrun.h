#pragma once

// `pixbarctl sync` as a child process beside a simulated sign, and what its data lines
// become on the sign.

#include "simprocess.h"

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace pixbar::testing {

using namespace std::chrono_literals;
using SyncBytes = std::vector<std::uint8_t>;

/// The record slot 9 gets for a data line: one cell of `font` per character, then the kind.
inline SyncBytes SyncRecord(std::uint8_t kind, std::uint8_t font, const std::string& text) {
    SyncBytes record(kMessageBytes, 0);
    for (std::size_t i = 0; i < text.size(); ++i) {
        record[2 * i] = font;
        record[2 * i + 1] = std::uint8_t(text[i]);
    }
    record[kMessageBytes - 1] = kind;
    return record;
}

inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

/// Sleeps until `offset` past the next whole second of the wall clock.
inline void NextSecond(std::chrono::milliseconds offset = 20ms) {
    const auto now = std::chrono::system_clock::now();
    std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(now) + offset);
}

/// One `pixbarctl sync` beside a simulated sign, on `port` (the sign's own when empty); its
/// standard output goes to a file.
class SyncRun {
public:
    SyncRun(const SimProcess& sim, std::vector<std::string> extra = {}, QString port = {})
        : m_sim(sim) {
        const QDir dir(sim.dir());
        m_data = dir.filePath("dane.txt").toStdString();
        m_out = dir.filePath("sync.out").toStdString();
        std::vector<std::string> args = {std::string(PIXBAR_BIN_DIR) + "/pixbarctl",
                                         "--ports-dir",
                                         sim.portsDir().toStdString(),
                                         "--port",
                                         (port.isEmpty() ? sim.portName() : port).toStdString(),
                                         "--address",
                                         std::to_string(SimProcess::kSerial),
                                         "sync",
                                         "--file",
                                         m_data};
        args.insert(args.end(), extra.begin(), extra.end());
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        m_pid = Spawn(args, &files);
        posix_spawn_file_actions_destroy(&files);
    }
    ~SyncRun() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }

    void write(const std::string& line) const {
        std::ofstream(m_data, std::ios::binary | std::ios::trunc) << line;
    }
    std::string output() const {
        std::ifstream in(m_out);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    int count(const std::string& status) const {
        const std::string text = output();
        int n = 0;
        for (std::size_t at = text.find(status); at != std::string::npos;
             at = text.find(status, at + 1))
            ++n;
        return n;
    }
    bool slotHolds(const SyncBytes& record, std::chrono::milliseconds limit = 5000ms) const {
        return WaitFor([&] { return m_sim.state("slot9.kom") == record; }, limit);
    }
    /// Sends SIGTERM; the exit code, or -1 when it has not ended within `ms`.
    int stop(int ms = 8000) {
        kill(m_pid, SIGTERM);
        const int code = WaitExit(m_pid, ms);
        if (code != -1) m_pid = -1;
        return code;
    }
    int waitExit(int ms) {
        const int code = WaitExit(m_pid, ms);
        if (code != -1) m_pid = -1;
        return code;
    }

private:
    const SimProcess& m_sim;
    std::string m_data;
    std::string m_out;
    pid_t m_pid = -1;
};

} // namespace pixbar::testing
