#pragma once

#include "player.h"
#include "timing.h"

#include <chrono>
#include <functional>

namespace pixbar {

/// Plays a test on the emulated sign the way the designer's window does: a step is taken on
/// the first pass after its counter has reached 0, the LEDs a step changed are repainted
/// after it (a step that changes nothing repaints nothing), and between passes the driver waits for
/// the next tick instead of spinning. The driver holds the tick source while a test plays, so the
/// tick rests between tests.
///
/// Two ways to drive it from a GUI event loop:
/// - `run(processEvents)` plays the whole test inside the test command's handler. After every
///   pass it calls `processEvents` (for Qt: QCoreApplication::processEvents), so the window
///   repaints and the second click ("STOP") reaches the handler, which calls `stop()`. When no
///   step is due it blocks until the next tick, at most one tick period.
/// - `poll()` takes every step that is due now and returns; a timer of the event loop calls it
///   (a QTimer of a few milliseconds), and `stop()` takes effect at the next `poll()`.
/// Either way the test ends with Stopped (the picture is cleared and painted once more) or
/// Ended (switching on: the display time is over and the upper message has wrapped; the last
/// picture stays).
class PreviewDriver {
public:
    enum class Outcome {
        Playing,
        Stopped,
        Ended,
        NothingToPlay, ///< a lower or empty message: the test ends at once
    };

    /// The window's wait for a tick is cut short after this, so it keeps processing events
    /// even when the tick source stalls.
    static constexpr std::chrono::milliseconds kWaitLimit{50};

    PreviewDriver(Emulator& emulator, TickSource& ticks, const Clock& clock,
                  const PreviewSettings& settings);
    ~PreviewDriver();
    PreviewDriver(const PreviewDriver&) = delete;
    PreviewDriver& operator=(const PreviewDriver&) = delete;

    /// Called after every step that ends with its painting, whether or not the picture
    /// changed, and after the stop has cleared the picture.
    void setRepaint(std::function<void()> repaint) { m_repaint = std::move(repaint); }
    /// Called with the area of the LED bitmap that changed, only after the steps that changed
    /// the picture (and after the stop, when it cleared a lit picture). A step that leaves the
    /// frame as it was asks for no repaint.
    void setRepaintArea(std::function<void(const LedArea&)> repaint) {
        m_repaintArea = std::move(repaint);
    }

    /// Begins a test of page `index` (0..7); false when there is nothing to play.
    bool start(const std::array<MessageRecord, kPageCount>& pages, int index);
    /// Begins a test of `record`, with `following` as the page below an upper message.
    bool start(const MessageRecord& record, const MessageRecord& following);
    /// Asks the running test to stop; it stops at its next pass.
    void stop() { m_stopRequested = true; }
    bool playing() const { return m_playing; }
    Outcome outcome() const { return m_outcome; }

    /// Takes every step due now, calling `processEvents` after each pass.
    Outcome poll(const std::function<void()>& processEvents = {});
    /// Plays until the test is stopped or ends, waiting for the tick between passes.
    Outcome run(const std::function<void()>& processEvents = {});

    Player& player() { return m_player; }
    const Player& player() const { return m_player; }
    /// Off: nothing is painted into the LED bitmap (headless playing).
    void setPaintLeds(bool on);

private:
    bool begin(PlayStart start);
    void painted();
    /// Holds the tick from the start of a test to its end, and only then.
    void setPlaying(bool playing);

    Emulator& m_emulator;
    TickSource& m_ticks;
    const PreviewSettings& m_settings;
    Player m_player;
    std::function<void()> m_repaint;
    std::function<void(const LedArea&)> m_repaintArea;
    std::function<void()> m_painted; ///< the player's callback: painted()
    bool m_playing = false;
    bool m_holdingTicks = false;
    bool m_stopRequested = false;
    bool m_paintLeds = true;
    Outcome m_outcome = Outcome::NothingToPlay;
};

} // namespace pixbar
