#pragma once

// pixbard as a child process, serving one simulated sign as "bench" on a free HTTP port of
// 127.0.0.1; more lines for the sign's section (a relay) can be given.

#include "simprocess.h"

#include <httplib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace pixbar::testing {

class ServiceProcess {
public:
    static constexpr const char* kSignPath = "/api/v1/signs/bench";

    /// `signLines` are appended to the `[sign bench]` section, one a line.
    explicit ServiceProcess(const SimProcess& sim, const std::vector<std::string>& signLines = {})
        : m_port(FreePort()) {
        const std::filesystem::path dir = sim.dir().toStdString();
        std::ofstream config(dir / "pixbard.conf");
        config << "[sign bench]\nport = " << sim.portName().toStdString()
               << "\naddress = " << SimProcess::kSerial << "\nwidth = 12\n";
        for (const std::string& line : signLines) config << line << "\n";
        config << "\n[http]\nlisten = 127.0.0.1:" << m_port << "\n";
        config.close();
        m_log = (dir / "pixbard.log").string();
        m_pid = SpawnLogged({std::string(PIXBAR_BIN_DIR) + "/pixbard", "--config",
                             (dir / "pixbard.conf").string(), "--data", PIXBAR_BIN_DIR},
                            m_log);
        // Up once the sign is online and the question for its version is done; 10 s at most.
        httplib::Client client("127.0.0.1", m_port);
        for (int i = 0; i < 200 && m_pid > 0 && !m_ready; ++i) {
            const auto answer = client.Get(kSignPath);
            m_ready = answer && answer->status == 200 &&
                      answer->body.find("\"online\":true") != std::string::npos &&
                      answer->body.find("\"busy\":false") != std::string::npos;
            if (!m_ready) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~ServiceProcess() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        if (WaitExit(m_pid, 10000) != -1) return;
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool ready() const { return m_ready; }
    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    std::string log() const {
        std::ifstream in(m_log);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::unique_ptr<httplib::Client> client() const {
        auto c = std::make_unique<httplib::Client>("127.0.0.1", m_port);
        c->set_keep_alive(true);
        c->set_read_timeout(30, 0);
        return c;
    }

private:
    int m_port;
    pid_t m_pid = -1;
    bool m_ready = false;
    std::string m_log;
};

} // namespace pixbar::testing
