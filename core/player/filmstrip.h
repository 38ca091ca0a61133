#pragma once

#include "pixbar.h"
#include "player.h"
#include "previewdriver.h"
#include "timing.h"

#include <array>
#include <cstdint>
#include <functional>

namespace pixbar {

/// A strip taken without a length ends after a minute of the sign's time at the latest.
inline constexpr std::uint64_t kMaxPassTicks = 5000;

/// Plays a test without a window in simulated time, the way the designer's player runs it:
/// the steps due at tick 0 are taken at the start, and every tick then lets the steps that
/// became due run. Nothing is painted into the LED bitmap.
class HeadlessTest {
public:
    HeadlessTest(Emulator& emulator, const Clock& clock, const PreviewSettings& settings);

    /// Starts page `index` (0..7); false when there is nothing to play (the sign stays dark).
    bool start(const std::array<MessageRecord, kPageCount>& pages, int index);
    /// Lets the sign's time run on to `tick`; an earlier tick changes nothing.
    void runTo(std::uint64_t tick);

    std::uint64_t tick() const { return m_ticks.ticks(); }
    /// True while the test plays (it ends by itself only when switching is on).
    bool playing() const { return m_driver.playing(); }
    /// Passes begun by the upper (or only) line and by the lower line (0 without one).
    std::array<std::uint32_t, 2> passes() const;
    /// An upper message plays with the page below it.
    bool hasLower() const { return m_driver.player().hasLower(); }
    const FrameBuffer& frame() const { return m_emulator.frame; }
    const SignGeometry& geometry() const { return m_emulator.geometry; }

private:
    Emulator& m_emulator;
    ManualTickSource m_ticks;
    PreviewDriver m_driver;
};

/// Which ticks a film strip shows.
struct StripTicks {
    std::uint64_t first = 0;
    /// Ticks between pictures; 0: every tick, up to the end of the pass shown at `first` (for
    /// tick 0 the first full pass of the message): the tick on which every line of the sign
    /// has begun its next pass, or the test has ended; at most kMaxPassTicks.
    std::uint64_t every = 0;
    std::uint64_t count = 1; ///< pictures when `every` is not 0
};

/// Plays `test` through the strip and calls `take` with each picture's tick and the frame
/// buffer at that tick, in order. Returns the tick where the last picture ends: `every` ticks
/// after it, or the end of the first pass.
std::uint64_t SampleStrip(HeadlessTest& test, const StripTicks& ticks,
                          const std::function<void(std::uint64_t, const FrameBuffer&)>& take);

/// True when the visible LEDs of the two frames are the same.
bool SamePicture(const SignGeometry& g, const FrameBuffer& a, const FrameBuffer& b);

} // namespace pixbar
