#pragma once

#include "messagerecord.h"
#include "unitcomprotocol.h"

#include <QString>

#include <array>
#include <cstdint>
#include <span>

namespace pixbar {

/// What a transfer shows the user while it runs: the main window implements it, tests record it.
class TransferUi {
public:
    virtual ~TransferUi() = default;
    virtual void showStatus(const QString& text) = 0;
    /// Shows the "Komunikacja" popup with `text`, disables the main window and lets both paint.
    virtual void showPopup(const QString& text) = 0;
    virtual void setPopupText(const QString& text) = 0;
    /// Hides the popup and enables the main window again.
    virtual void hidePopup() = 0;
    /// A "Błąd" box.
    virtual void error(const QString& text) = 0;
    virtual void processEvents() = 0;
};

/// Where and to whom a transfer goes.
struct SignTarget {
    QString portName;
    std::uint16_t address = 0;
};

/// The commands that talk to the sign: each opens the port, runs its protocol operations,
/// closes the port and reports through the status line, the popup and error boxes.
class Transfers {
public:
    Transfers(ComProtocol& protocol, TransferUi& ui) : m_protocol(protocol), m_ui(ui) {}

    /// Message `number` (1..8) with its record.
    bool sendMessage(const SignTarget& to, int number, const MessageRecord& record);
    /// Messages 1..8; stops at the first one the sign does not take.
    bool sendMessageSet(const SignTarget& to, std::span<const MessageRecord* const, 8> records);
    bool sendConfiguration(const SignTarget& to, std::span<const std::uint8_t, 8> config);
    /// An empty image (no user font loaded) is refused with a box; nothing is sent.
    bool sendUserFont(const SignTarget& to, std::span<const std::uint8_t> image);
    bool sendSymbolTable(const SignTarget& to, std::span<const std::uint8_t> image);
    bool setClock(const SignTarget& to);
    /// Shows slot `number` on the sign; `current` picks the wording of the current message.
    bool showMessage(const SignTarget& to, int number, bool current);

private:
    struct Texts {
        QString start;
        QString failure;
        QString success; ///< empty: no status text on success
    };
    template <class Operation>
    bool run(const SignTarget& to, const Texts& texts, Operation operation);
    bool openPort(const SignTarget& to);
    void closePort();

    ComProtocol& m_protocol;
    TransferUi& m_ui;
};

} // namespace pixbar
