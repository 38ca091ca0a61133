#pragma once

#include "autosync.h"
#include "stopwatchsession.h"

#include <QString>

namespace pixbar {

/// What the file sync window shows; the window implements it, tests record it.
class SyncView {
public:
    virtual ~SyncView() = default;
    /// Shows "STATUS:" + text for five seconds.
    virtual void showStatus(const QString& text) = 0;
    /// The once-a-second look at the data file runs while the mode is on.
    virtual void setPolling(bool on) = 0;
};

/// File sync mode: while it runs the port stays open, and whenever the data file's
/// modification time moves its first line goes to slot 9 of the sign.
class SyncSession {
public:
    SyncSession(ProtocolSource protocol, TargetSource target, SyncView& view)
        : m_protocol(std::move(protocol)), m_target(std::move(target)), m_view(view) {}

    /// Opens the port and sets the sign's clock; true when the mode runs. A mode that is
    /// already running keeps running as it is.
    bool StartSyncMode();
    /// Takes the data file when it has changed since it was last taken.
    void PollDataFile(const QString& fileName);
    /// A file chosen in the dialog is taken at once, even when it is the same one.
    void fileChosen(const QString& fileName);
    /// Clears slot 9 and closes the port when the mode runs.
    void StopSyncMode();

    bool active() const { return m_active; }
    const MessageRecord& message() const { return m_message; }
    std::uint8_t kind() const { return m_message.kind(); }
    FileChangeWatch& watch() { return m_watch; }

private:
    ProtocolSource m_protocol;
    TargetSource m_target;
    SyncView& m_view;
    FileChangeWatch m_watch;
    MessageRecord m_message;
    bool m_active = false;
};

/// A file name as the file system spells it (names are kept as Unicode text in the window).
std::filesystem::path SyncPath(const QString& name);

} // namespace pixbar
