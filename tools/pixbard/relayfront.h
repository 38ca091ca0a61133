#pragma once

#include "relay.h"
#include "serviceconfig.h"
#include "signservice.h"

#include <QEventLoop>
#include <QThread>

#include <memory>
#include <string>
#include <vector>

namespace pixbard {

/// Clients one sign's relay takes at a time; more are turned away.
inline constexpr int kMaxRelayClients = 16;

/// The TCP side of the signs' relays: one listener per sign with a `relay` address, on a
/// thread of its own with its own event loop. Bytes from clients go to the sign's Relay; the
/// sign's answers come back from the worker's thread and are written on the listener's.
class RelayFront {
public:
    RelayFront(const pixbar::service::ServiceConfig& config, pixbar::service::SignService& service);
    ~RelayFront();
    RelayFront(const RelayFront&) = delete;
    RelayFront& operator=(const RelayFront&) = delete;

    /// Opens every listener; false with `error` when one cannot listen.
    bool start(std::string& error);
    /// Closes the listeners and every client and ends the turn in progress.
    void stop();
    bool empty() const { return m_relays.empty(); }

private:
    struct SignRelay {
        pixbar::service::SignEntry entry;
        std::shared_ptr<pixbar::service::Relay> relay;
    };
    pixbar::service::SteadyRelayClock m_clock;
    std::vector<SignRelay> m_relays;
    std::unique_ptr<QThread> m_thread;
    QEventLoop* m_loop = nullptr; ///< the listeners' loop, while m_thread runs
};

} // namespace pixbard
