#include "previewdriver.h"

namespace pixbar {

PreviewDriver::PreviewDriver(Emulator& emulator, TickSource& ticks, const Clock& clock,
                             const PreviewSettings& settings)
    : m_emulator(emulator), m_ticks(ticks), m_settings(settings), m_player(emulator, clock),
      m_painted([this] { painted(); }) {}

PreviewDriver::~PreviewDriver() {
    setPlaying(false);
}

void PreviewDriver::setPlaying(bool playing) {
    m_playing = playing;
    if (playing == m_holdingTicks) return;
    m_holdingTicks = playing;
    if (playing)
        m_ticks.hold();
    else
        m_ticks.release();
}

void PreviewDriver::painted() {
    if (m_repaint) m_repaint();
    const LedArea changed = m_emulator.bitmap.takeChanged();
    if (m_paintLeds && m_repaintArea && !changed.empty()) m_repaintArea(changed);
}

void PreviewDriver::setPaintLeds(bool on) {
    m_paintLeds = on;
    m_player.setPaintLeds(on);
}

bool PreviewDriver::start(const std::array<MessageRecord, kPageCount>& pages, int index) {
    return begin(m_player.start(pages, index, m_settings));
}

bool PreviewDriver::start(const MessageRecord& record, const MessageRecord& following) {
    return begin(m_player.start(record, following, m_settings));
}

bool PreviewDriver::begin(PlayStart start) {
    m_stopRequested = false;
    setPlaying(start == PlayStart::Playing);
    m_outcome = m_playing ? Outcome::Playing : Outcome::NothingToPlay;
    return m_playing;
}

PreviewDriver::Outcome PreviewDriver::poll(const std::function<void()>& processEvents) {
    while (m_playing) {
        m_player.pass(m_settings.speed, m_painted);
        if (processEvents) processEvents();
        if (m_stopRequested) {
            m_emulator.frame.fill(0);
            if (m_paintLeds)
                RenderChangedLeds(m_emulator.geometry, m_emulator.frame, m_emulator.bitmap);
            painted();
            setPlaying(false);
            m_outcome = Outcome::Stopped;
        } else if (m_player.switchingEnd(m_settings)) {
            setPlaying(false);
            m_outcome = Outcome::Ended;
        } else if (!m_player.stepDue()) {
            break; // nothing more until the next tick
        }
    }
    return m_outcome;
}

PreviewDriver::Outcome PreviewDriver::run(const std::function<void()>& processEvents) {
    for (;;) {
        const std::uint64_t seen = m_ticks.ticks();
        if (poll(processEvents) != Outcome::Playing) return m_outcome;
        m_ticks.waitForTick(seen, kWaitLimit);
    }
}

} // namespace pixbar
