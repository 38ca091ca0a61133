#include "relayfront.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QMetaObject>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>
#include <future>
#include <map>
#include <mutex>

namespace pixbard {

namespace {

using pixbar::service::Relay;

void logLine(const std::string& text) {
    std::fprintf(stderr, "pixbard: %s\n", text.c_str());
    std::fflush(stderr);
}

QHostAddress listenAddress(const std::string& host) {
    if (host == "localhost") return QHostAddress(QHostAddress::LocalHost);
    if (host == "*") return QHostAddress(QHostAddress::Any);
    return QHostAddress(QString::fromStdString(host));
}

/// The peer as the status shows it: "ADDRESS:PORT", an IPv4 peer of a dual-stack listener
/// without its IPv6 wrapping, an IPv6 one in brackets.
std::string peerText(const QTcpSocket& socket) {
    QHostAddress address = socket.peerAddress();
    bool v4 = false;
    const quint32 mapped = address.toIPv4Address(&v4);
    if (v4) address = QHostAddress(mapped);
    QString host = address.toString();
    if (address.protocol() == QAbstractSocket::IPv6Protocol) host = '[' + host + ']';
    return host.toStdString() + ':' + std::to_string(socket.peerPort());
}

/// The way from the worker's thread to a socket of the listener's thread: writes are posted
/// to the socket while it lives.
struct Outbox {
    std::mutex mutex;
    QTcpSocket* socket = nullptr;

    void post(std::function<void(QTcpSocket&)> what) {
        std::lock_guard lock(mutex);
        if (!socket) return;
        QTcpSocket* s = socket;
        QMetaObject::invokeMethod(s, [s, what = std::move(what)] { what(*s); }, Qt::QueuedConnection);
    }
    void forget() {
        std::lock_guard lock(mutex);
        socket = nullptr;
    }
};

class Listener : public QObject {
public:
    Listener(const pixbar::service::SignEntry& entry, std::shared_ptr<Relay> relay)
        : m_entry(entry), m_relay(std::move(relay)) {
        // QTcpServer asks for SO_REUSEADDR on Unix and never SO_REUSEPORT, so a restarted
        // service gets its port back while a second one cannot share it.
        connect(&m_server, &QTcpServer::newConnection, this, &Listener::accept);
    }
    ~Listener() override {
        m_server.close();
        for (auto& [socket, outbox] : m_outboxes) {
            outbox->forget();
            QObject::disconnect(socket, nullptr, this, nullptr);
            socket->abort();
        }
    }

    bool listen(std::string& error) {
        if (m_server.listen(listenAddress(m_entry.relayHost), m_entry.relayPort)) return true;
        error = "sign " + m_entry.name + ": cannot listen for the relay on " + m_entry.relay + " (" +
                m_server.errorString().toStdString() + ")";
        return false;
    }

private:
    void accept() {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            const std::string peer = peerText(*socket);
            if (!pixbar::service::PeerAllowed(m_entry.relayAllow,
                                              socket->peerAddress().toString().toStdString())) {
                logLine(m_entry.name + ": relay client " + peer + " is not allowed (relay-allow)");
                socket->abort();
                socket->deleteLater();
                continue;
            }
            if (m_clients >= kMaxRelayClients) {
                logLine(m_entry.name + ": relay client " + peer + " turned away: " +
                        std::to_string(kMaxRelayClients) + " clients already");
                socket->abort();
                socket->deleteLater();
                continue;
            }
            ++m_clients;
            socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            // Nothing sane needs more than one whole frame unread.
            socket->setReadBufferSize(qint64(pixbar::kFrameCapacity));
            auto outbox = std::make_shared<Outbox>();
            outbox->socket = socket;
            m_outboxes[socket] = outbox;
            pixbar::service::RelayClientLink link;
            link.send = [outbox](std::span<const std::uint8_t> bytes) {
                QByteArray data(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
                outbox->post([data](QTcpSocket& s) {
                    s.write(data);
                    s.flush();
                });
            };
            link.close = [outbox] { outbox->post([](QTcpSocket& s) { s.abort(); }); };
            const Relay::ClientId id = m_relay->connect(peer, std::move(link));
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, id] {
                while (socket->bytesAvailable() > 0) {
                    const QByteArray bytes = socket->read(qint64(pixbar::kFrameCapacity));
                    m_relay->received(id, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                                    std::size_t(bytes.size())));
                }
            });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket, id] { drop(socket, id); });
            if (socket->state() != QAbstractSocket::ConnectedState) drop(socket, id);
        }
    }

    void drop(QTcpSocket* socket, Relay::ClientId id) {
        const auto it = m_outboxes.find(socket);
        if (it == m_outboxes.end()) return;
        it->second->forget();
        m_outboxes.erase(it);
        m_relay->disconnected(id);
        --m_clients;
        socket->deleteLater();
    }

    const pixbar::service::SignEntry m_entry;
    std::shared_ptr<Relay> m_relay;
    std::map<QTcpSocket*, std::shared_ptr<Outbox>> m_outboxes;
    QTcpServer m_server;
    int m_clients = 0;
};

} // namespace

RelayFront::RelayFront(const pixbar::service::ServiceConfig& config,
                       pixbar::service::SignService& service) {
    for (const pixbar::service::SignEntry& entry : config.signs) {
        if (entry.relay.empty()) continue;
        pixbar::service::SignWorker* worker = service.worker(entry.name);
        if (!worker) continue;
        m_relays.push_back({entry, Relay::Create(*worker, m_clock, logLine)});
    }
}

RelayFront::~RelayFront() {
    stop();
}

bool RelayFront::start(std::string& error) {
    if (m_relays.empty()) return true;
    std::promise<std::string> opened;
    std::future<std::string> result = opened.get_future();
    m_thread.reset(QThread::create([this, &opened] {
        std::vector<std::unique_ptr<Listener>> listeners;
        std::string failure;
        for (const SignRelay& r : m_relays) {
            listeners.push_back(std::make_unique<Listener>(r.entry, r.relay));
            if (!listeners.back()->listen(failure)) break;
        }
        QEventLoop loop;
        m_loop = &loop;
        const bool ok = failure.empty();
        opened.set_value(failure);
        if (!ok) return;
        // A quit posted by stop() before exec() starts waits in the queue for it.
        loop.exec();
        // Clients close with their listeners, on the thread that owns them.
        listeners.clear();
    }));
    m_thread->start();
    error = result.get();
    if (!error.empty()) {
        m_thread->wait();
        m_thread.reset();
        return false;
    }
    return true;
}

void RelayFront::stop() {
    for (SignRelay& r : m_relays) r.relay->stop();
    if (!m_thread) return;
    QMetaObject::invokeMethod(m_loop, &QEventLoop::quit, Qt::QueuedConnection);
    m_thread->wait();
    m_thread.reset();
}

} // namespace pixbard
