#pragma once

#include "messagerecord.h"
#include "pixbar.h"
#include "timing.h"

#include <array>
#include <cstdint>
#include <functional>

namespace pixbar {

inline constexpr int kPageCount = 8;

/// The effect a track runs (effect code - 1). A value above Typewriter makes the track stand still.
enum class EffectType : std::uint8_t {
    Scroller = 0,
    StandingText = 1,
    SlideFromBottom = 2,
    SlideFromTop = 3,
    BlindFromBottom = 4,
    BlindFromTop = 5,
    Pixels = 6,
    BlinkInverse = 7,
    BlinkScreen = 8,
    LinesFromBottom = 9,
    LinesFromTop = 10,
    Typewriter = 11,
};

/// What the next read produces: a new cell, or the next character of an expanded field.
enum class ReaderState : std::uint8_t {
    ReadCell = 1,
    TimeHourUnits = 2, ///< hh:mm
    TimeColon = 3,
    TimeMinuteTens = 4,
    TimeMinuteUnits = 5,
    DateCenturyTwo = 6, ///< dd/mm/20yy
    DateCenturyZero = 7,
    DateDayUnits = 8,
    DateFirstSlash = 9,
    DateMonthTens = 10,
    DateMonthUnits = 11,
    DateSecondSlash = 12,
    DateYearTens = 13,
    DateYearUnits = 14,
    TemperatureSecond = 15, ///< up to three characters
    TemperatureThird = 16,
};

/// How long the track waits after its step.
enum class DelayRequest : std::uint8_t {
    None = 0,  ///< the speed's ticks while something moves, else no wait
    Pause = 1, ///< pause length x 133 ticks
    Ticks = 2, ///< pause length ticks
};

inline constexpr std::uint32_t kPauseUnitTicks = 133;
inline constexpr std::uint8_t kBlinkTicks = 20; ///< one state of a blink, one typed character
inline constexpr int kBlinkStates = 8;          ///< both blinks end on the picture they began with
inline constexpr int kPixelsRounds = 32;        ///< 31 rounds of random pixels, then the whole line
inline constexpr int kPixelsPerRound = 100;
inline constexpr std::uint16_t kFirstGlyphAdvance = 8; ///< counting steps before the first read
inline constexpr char kTemperatureText[] = "21";       ///< the emulated sign has no sensor
/// A track that has taken this many steps in a row without a delay waits a tick per step.
inline constexpr int kZeroDelayStepLimit = 1000;

/// The state of one line of the sign during a test.
struct Track {
    const std::uint8_t* message = nullptr; ///< the track's own copy of the record
    std::uint16_t size = 0;                ///< bytes before the first zero byte of the copy
    std::uint16_t position = 0;            ///< byte index of the next cell
    bool endFlag = false;                  ///< reading has wrapped to the start
    std::uint16_t glyphAdvance = kFirstGlyphAdvance;
    std::uint32_t stepCount = 0; ///< scroller: steps since the last character was drawn
    std::uint16_t attribute = 0;
    std::int16_t character = 0; ///< character to draw now; 0 = nothing
    std::int16_t format = 0;    ///< bit 0: inverse
    EffectType effectType = EffectType::Scroller;
    EffectType nextEffectType = EffectType::Scroller;
    EffectType previousEffectType = EffectType::Scroller;
    bool phaseFlag = true; ///< the effect begins a new phase at its next step
    std::uint8_t effectParameter = 0;
    std::uint8_t pauseLength = 0;
    std::uint8_t pauseParameter = 0;
    std::int16_t topRow = 0;     ///< A
    std::int16_t endRow = 0;     ///< T, the row after the area
    std::int16_t pixelWidth = 0; ///< L
    std::int16_t effectCounter = 0;
    std::int16_t x = 0;
    std::int16_t y = 0;
    ReaderState readerState = ReaderState::ReadCell;
    ReaderState nextReaderState = ReaderState::ReadCell;
    DelayRequest delayRequest = DelayRequest::None;
    std::array<char, 8> fieldText{};
    /// Passes begun: reads of the first cell. Only watched from outside (the end of a pass).
    std::uint32_t passes = 0;
};

/// Number of bytes of the record before its first zero byte.
std::uint16_t MessageSize(const MessageRecord& record);
/// A track at the start of a test, playing `record` on rows top..end-1 of a sign `pixelWidth` wide.
Track StartTrack(const MessageRecord& record, int topRow, int endRow, int pixelWidth);

/// The random numbers of "Piksele": a linear congruential generator whose state carries on
/// from step to step.
class PixelGenerator {
public:
    static constexpr std::uint32_t kStartingValue = 1;

    explicit PixelGenerator(std::uint32_t state = kStartingValue) : m_state(state) {}
    std::uint32_t next() {
        m_state = m_state * 1103515245u + 12345u;
        return (m_state >> 16) & 0x7FFF;
    }
    void restart(std::uint32_t state) { m_state = state; }
    std::uint32_t state() const { return m_state; }

private:
    std::uint32_t m_state;
};

/// What the player draws with and into.
struct Stage {
    const SignGeometry& geometry;
    const FontTable& fonts;
    FrameBuffer& frame;
    ScratchBuffer& scratch;
    LedBitmap* bitmap; ///< painted after a step; null leaves the LEDs alone (headless use)
    const Clock& clock;
    PixelGenerator& generator;
};

/// Reads the next cell, or produces the next character of a field; see ReaderState.
void ReadNextItem(Track& track, const Clock& clock);
/// False only when the next cell is the lead cell of a pause or effect item.
bool NextIsText(const Track& track);
/// Draws characters at the track's pen until the line is full, a phase begins or reading wraps;
/// returns the number of characters drawn.
int ComposeLine(const Stage& stage, FrameBuffer& buffer, Track& track);

struct TypedCharacter {
    bool finished = false; ///< the line is full, a phase begins or reading wrapped
    int count = 0;         ///< characters drawn
};
/// Draws the next character of the line at the track's pen, skipping marks and items.
TypedCharacter TypeNextCharacter(const Stage& stage, FrameBuffer& buffer, Track& track);

/// One step of the track's effect; returns true when it painted the LEDs.
bool EffectStep(const Stage& stage, Track& track);
/// Ticks until the track's next step at scroll speed `speed`; consumes the delay request.
std::uint32_t StepDelay(Track& track, int speed);
/// Display time in ticks for `DisplayTimePosition` 0..134.
std::uint32_t DisplayTimeTicks(int position);

/// The values that time a preview; the sign settings sliders change them.
struct PreviewSettings {
    static constexpr int kMinSpeed = 1;
    static constexpr int kMaxSpeed = 20;
    static constexpr int kMaxDisplayTimePosition = 134;

    int speed = 2;               ///< V, 1..20
    int DisplayTimePosition = 2; ///< 0..134
    std::uint16_t switching = 0; ///< 1: a test ends by itself after the display time
};

/// How a test begins.
enum class PlayStart {
    Playing,
    LowerMessage, ///< a lower message is played only below its upper one
    EmptyMessage,
};

/// A test of one message: its own copies of the records, the tracks and their steps.
class Player {
public:
    Player(Emulator& emulator, const Clock& clock);
    Player(const Player&) = delete; // the tracks point into the player's own copies
    Player& operator=(const Player&) = delete;

    /// Sets up a test of page `index` (0..7); an upper message brings the next page along
    /// (page 8 brings page 1).
    PlayStart start(const std::array<MessageRecord, kPageCount>& pages, int index,
                    const PreviewSettings& settings);
    /// The same with the upper (or only) record and the page that follows it.
    PlayStart start(const MessageRecord& record, const MessageRecord& following,
                    const PreviewSettings& settings);

    /// One pass: each track whose counter is 0 takes a step and sets its counter by the delay
    /// rule; `painted` is called after every step that painted. Returns the steps taken.
    int pass(int speed, const std::function<void()>& painted);
    /// True when a track's counter is 0, so the next pass takes a step at once.
    bool stepDue() const;
    /// The test ends by itself: switching on, display time over and the upper message wrapped.
    bool switchingEnd(const PreviewSettings& settings) const;

    /// Starting value of the "Piksele" generator at every test start.
    void setGeneratorStart(std::uint32_t value) { m_generatorStart = value; }
    std::uint32_t generatorStart() const { return m_generatorStart; }

    /// Off: steps leave the LED bitmap alone (headless playing paints only what it shows).
    void setPaintLeds(bool on) { m_paintLeds = on; }

    Stage stage();
    bool hasLower() const { return m_hasLower; }
    const Track& upper() const { return m_upper; }
    const Track& lower() const { return m_lower; }
    Track& upper() { return m_upper; }
    Track& lower() { return m_lower; }

private:
    bool stepTrack(Track& track, std::atomic<std::uint32_t>& counter, int& zeroRun, int speed);

    Emulator& m_emulator;
    const Clock& m_clock;
    MessageRecord m_upperCopy;
    MessageRecord m_lowerCopy;
    Track m_upper;
    Track m_lower;
    bool m_hasLower = false;
    int m_upperZeroRun = 0;
    int m_lowerZeroRun = 0;
    PixelGenerator m_generator;
    std::uint32_t m_generatorStart = PixelGenerator::kStartingValue;
    bool m_paintLeds = true;
};

} // namespace pixbar
