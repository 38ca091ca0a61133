#include "transfers.h"

namespace pixbar {

namespace {

QString sendingMessage(int n) {
    return QStringLiteral("Wysyłam komunikat numer %1").arg(n);
}

} // namespace

bool Transfers::openPort(const SignTarget& to) {
    if (m_protocol.Open(to.portName) == 0) {
        // Pump GUI events between block frames so the window keeps painting.
        m_protocol.setEventPump([this] { m_ui.processEvents(); });
        return true;
    }
    m_ui.error(QStringLiteral("Nie mogę otworzyć portu ") + to.portName + QStringLiteral(" !"));
    return false;
}

void Transfers::closePort() {
    m_protocol.setEventPump({});
    m_protocol.Close();
}

template <class Operation>
bool Transfers::run(const SignTarget& to, const Texts& texts, Operation operation) {
    m_ui.showStatus(texts.start);
    if (!openPort(to)) return false;
    m_ui.showPopup(texts.start);
    const bool ok = operation() == ProtocolResult::Ok;
    // Clicks held back while the sign was waited for (such as "Zamknij okno" of a run of
    // every transfer) are taken before an error box could swallow them.
    m_ui.processEvents();
    if (!ok)
        m_ui.error(texts.failure);
    else if (!texts.success.isEmpty())
        m_ui.showStatus(texts.success);
    closePort();
    m_ui.hidePopup();
    return ok;
}

bool Transfers::sendMessage(const SignTarget& to, int number, const MessageRecord& record) {
    return run(to,
               {sendingMessage(number), QStringLiteral("Nie mogę wysłać komunikatu do linijki!"),
                QStringLiteral("Komunikat został wysłany.")},
               [&] { return m_protocol.SendMessageBlocks(to.address, number, record.bytes); });
}

bool Transfers::sendMessageSet(const SignTarget& to,
                               std::span<const MessageRecord* const, 8> records) {
    if (!openPort(to)) return false;
    m_ui.showPopup(QString());
    MessageSetBytes bytes;
    for (int n = 0; n < kMessageCount; ++n) bytes[std::size_t(n)] = records[std::size_t(n)]->bytes;
    const MessageSetResult sent = SendMessageSet(m_protocol, to.address, bytes, [this](int n) {
        m_ui.showStatus(sendingMessage(n));
        m_ui.setPopupText(sendingMessage(n));
        m_ui.processEvents();
    });
    if (sent.result != ProtocolResult::Ok) {
        m_ui.processEvents();
        m_ui.error(QStringLiteral("Nie mogę wysłać komunikatu numer %1 do linijki!")
                       .arg(sent.failedMessage));
        closePort();
        m_ui.hidePopup();
        return false;
    }
    closePort();
    m_ui.showStatus(QStringLiteral("Zestaw komunikatów został wysłany."));
    m_ui.hidePopup();
    return true;
}

bool Transfers::sendConfiguration(const SignTarget& to, std::span<const std::uint8_t, 8> config) {
    return run(to,
               {QStringLiteral("Wysyłam konfigurację."),
                QStringLiteral("Nie mogę wysłać konfiguracji do linijki!"),
                QStringLiteral("Konfiguracja została wysłana.")},
               [&] { return m_protocol.SendConfiguration(to.address, config); });
}

bool Transfers::sendUserFont(const SignTarget& to, std::span<const std::uint8_t> image) {
    // Sixteen blocks of zeros would erase the sign's font: without a font nothing goes out.
    if (image.empty()) {
        m_ui.error(QStringLiteral("Nie wczytano czcionki użytkownika, nie mam czego wysłać!"));
        return false;
    }
    return run(to,
               {QStringLiteral("Wysyłam czcionkę użytkownika."),
                QStringLiteral("Nie mogę wysłać komendy do linijki!"), QString()},
               [&] { return m_protocol.SendUserFont(to.address, image); });
}

bool Transfers::sendSymbolTable(const SignTarget& to, std::span<const std::uint8_t> image) {
    return run(to,
               {QStringLiteral("Wysyłam symbole graficzne."),
                QStringLiteral("Nie mogę wysłać symboli graficznych do linijki!"), QString()},
               [&] { return m_protocol.SendSymbolTable(to.address, image); });
}

bool Transfers::setClock(const SignTarget& to) {
    return run(to,
               {QStringLiteral("Synchronizuję zegar."),
                QStringLiteral("Nie mogę zsynchronizować zegara w linijce świetlnej!"), QString()},
               [&] { return m_protocol.SetClock(to.address); });
}

bool Transfers::showMessage(const SignTarget& to, int number, bool current) {
    m_ui.showStatus((current ? QStringLiteral("Uruchamiam komunikat numer %1")
                             : QStringLiteral("Wyświetlam komunikat numer %1"))
                        .arg(number));
    if (!openPort(to)) return false;
    const bool ok = m_protocol.ShowMessage(to.address, number) == ProtocolResult::Ok;
    if (!ok) m_ui.error(QStringLiteral("Nie mogę wysłać komendy do linijki!"));
    closePort();
    return ok;
}

} // namespace pixbar
