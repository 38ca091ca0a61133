#include "autosyncsession.h"

#include <QFile>

namespace pixbar {

std::filesystem::path SyncPath(const QString& name) {
    const QByteArray encoded = QFile::encodeName(name);
    return std::filesystem::path(std::string(encoded.constData(), std::size_t(encoded.size())));
}

bool SyncSession::StartSyncMode() {
    if (m_active) return true;
    m_view.showStatus(QStringLiteral("Uruchamiam tryb synchronizacji z plikiem"));
    const SignTarget to = m_target();
    ComProtocol& protocol = m_protocol();
    if (protocol.Open(to.portName) != 0) {
        m_view.showStatus(QStringLiteral("Nie mogę otworzyć portu ") + to.portName +
                          QStringLiteral(" !"));
        return false;
    }
    m_view.showStatus(QStringLiteral("Synchronizuję czas w linijce"));
    if (protocol.SetClock(to.address) != ProtocolResult::Ok) {
        m_view.showStatus(QStringLiteral("Nie moge zsynchronizowac czasu w linijce!"));
        protocol.Close();
        return false;
    }
    m_active = true;
    m_view.setPolling(true);
    return true;
}

void SyncSession::PollDataFile(const QString& fileName) {
    if (!m_active) return;
    const std::filesystem::path file = SyncPath(fileName);
    if (!m_watch.FileChanged(file)) return;
    // The new time stays taken after an error, so a broken file is reported once per change.
    if (BuildSyncMessage(file, m_message) != SyncError::None) {
        m_view.showStatus(QStringLiteral("Błąd podczas odczytu pliku komunikatu!"));
        return;
    }
    m_view.showStatus(QStringLiteral("Wysyłam komunikat"));
    const ProtocolResult r =
        m_protocol().StoreMessage(m_target().address, kSyncSlot, std::span(m_message.bytes));
    m_view.showStatus(r == ProtocolResult::Ok
                          ? QStringLiteral("OK")
                          : QStringLiteral("Błąd podczas wysyłania komunikatu!"));
}

void SyncSession::fileChosen(const QString& fileName) {
    m_watch.forget();
    PollDataFile(fileName);
}

void SyncSession::StopSyncMode() {
    m_view.setPolling(false);
    if (!m_active) return;
    // Slot 9 gets an empty single message; the results do not matter any more.
    const MessageRecord empty;
    ComProtocol& protocol = m_protocol();
    protocol.StoreMessage(m_target().address, kSyncSlot, std::span(empty.bytes));
    protocol.Close();
    m_active = false;
}

} // namespace pixbar
