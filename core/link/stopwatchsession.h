#pragma once

#include "stopwatch.h"
#include "transfers.h"
#include "unitcomprotocol.h"

#include <QString>

#include <functional>

namespace pixbar {

/// The protocol object the program currently talks through (tests swap it).
using ProtocolSource = std::function<ComProtocol&()>;
/// The port name and the sign's serial number as the settings hold them now.
using TargetSource = std::function<SignTarget()>;

/// Colour of the large time display.
enum class StopwatchColour { Yellow, Lime, Red };

/// What the stopwatch window shows; the window implements it, tests record it.
class StopwatchView {
public:
    virtual ~StopwatchView() = default;
    virtual void showTime(const QString& text) = 0;
    virtual void setColour(StopwatchColour colour) = 0;
    /// Button 1 reads "Stop (Spacja)" and the 250 ms tick runs while running.
    virtual void setRunning(bool running) = 0;
    /// A "Błąd" box.
    virtual void error(const QString& text) = 0;
};

/// The sign as a stopwatch: counts, shows and sends the time to slot 9, sends the operator's
/// text and asks the sign for a stored message. The port stays open from open() to close().
class StopwatchSession {
public:
    StopwatchSession(ProtocolSource protocol, TargetSource target, const TickCount& ticks,
                     StopwatchView& view)
        : m_protocol(std::move(protocol)), m_target(std::move(target)), m_watch(ticks),
          m_view(view) {}

    /// Opens the port; an error box names it when it cannot be opened. Either way the
    /// stopwatch is stopped and the next start counts from zero.
    bool open();
    void close();

    /// Space: stops a running count, otherwise starts or resumes it.
    void startStop();
    /// "Kasuj (K)".
    void reset();
    /// "Pokaż tekst (T)": the operator's text, as typed, replaces the time on the sign.
    void showText(const QString& text);
    /// Shows stored message 1..8 on the sign.
    void showMessage(int number);
    /// Shows the elapsed time and sends it; a failed send turns the display red.
    void tick();

    StopwatchState state() const { return m_watch.state; }
    const Stopwatch& watch() const { return m_watch; }

private:
    void stop();
    bool sendText(const QByteArray& bytes);

    ProtocolSource m_protocol;
    TargetSource m_target;
    Stopwatch m_watch;
    StopwatchView& m_view;
    bool m_holdsPort = false;
};

} // namespace pixbar
