// Reading the message (cells, fields, pause and effect items), composing a line, the delay
// after a step and the test's two tracks. How each effect moves the pixels is in effects.cpp.
#include "player.h"

#include <algorithm>

namespace pixbar {

namespace {

/// Display time of positions 0..14; from 15 on each position adds 2500 ticks.
constexpr std::array<std::uint32_t, 15> kDisplayTimeTable{0,   83,  167, 250,  333,  417,  500, 583,
                                                          667, 750, 833, 1667, 2500, 3333, 4167};
constexpr std::uint32_t kDisplayTimeStep = 2500;

std::uint8_t nextByte(Track& t) {
    return t.position < t.size ? t.message[t.position++] : 0;
}

void writeTwoDigits(char* out, int value) {
    value = ((value % 100) + 100) % 100;
    out[0] = char('0' + value / 10);
    out[1] = char('0' + value % 10);
}

std::int16_t fieldChar(const Track& t, int i) {
    return std::int16_t(static_cast<std::uint8_t>(t.fieldText[std::size_t(i)]));
}

void readCell(Track& t, const Clock& clock) {
    if (t.position == 0) ++t.passes;
    t.attribute = nextByte(t);
    t.character = nextByte(t);
    t.nextReaderState = ReaderState::ReadCell;
    const bool wrapped = t.position >= t.size;
    if (wrapped) {
        // The message is exhausted: start again from the first cell, with the scroller.
        t.position = 0;
        t.endFlag = true;
        t.readerState = ReaderState::ReadCell;
        t.nextReaderState = ReaderState::ReadCell;
        t.delayRequest = DelayRequest::None;
        t.nextEffectType = EffectType::Scroller;
        t.phaseFlag = true;
        t.pauseLength = 0;
        t.pauseParameter = 0;
    }
    switch (t.attribute & kClassMask) {
    case kClassTime: {
        const LocalDateTime now = clock.now();
        t.fieldText.fill(0);
        writeTwoDigits(&t.fieldText[0], now.hour);
        writeTwoDigits(&t.fieldText[2], now.minute);
        t.character = fieldChar(t, 0);
        t.nextReaderState = ReaderState::TimeHourUnits;
        break;
    }
    case kClassDate: {
        const LocalDateTime now = clock.now();
        t.fieldText.fill(0);
        writeTwoDigits(&t.fieldText[0], now.day);
        writeTwoDigits(&t.fieldText[2], now.month);
        writeTwoDigits(&t.fieldText[4], now.year);
        t.character = fieldChar(t, 0);
        t.nextReaderState = ReaderState::DateDayUnits;
        break;
    }
    case kClassTemperature:
        t.fieldText.fill(0);
        std::copy(std::begin(kTemperatureText), std::end(kTemperatureText), t.fieldText.begin());
        t.character = fieldChar(t, 0);
        t.nextReaderState =
            t.fieldText[1] != 0 ? ReaderState::TemperatureSecond : ReaderState::ReadCell;
        break;
    case kClassFormat:
        t.format = std::int16_t(t.character & 0x7F);
        t.character = 0;
        break;
    case kClassLead:
        // A lead cell that ends the message has no parameter cell (a full cell area can end
        // so): its parameters are absent rather than the first bytes of the message.
        if (t.character == kLeadPause) {
            t.delayRequest = DelayRequest::Pause;
            t.character = 0;
            t.pauseLength = wrapped ? 0 : nextByte(t);
            t.pauseParameter = wrapped ? 0 : nextByte(t);
        } else if (t.character == kLeadEffect) {
            t.character = 0;
            const bool present = !wrapped && t.position < t.size;
            t.nextEffectType =
                present ? EffectType(std::uint8_t(nextByte(t) - 1)) : EffectType::Scroller;
            t.phaseFlag = true;
            if (present && t.position < t.size) t.effectParameter = nextByte(t);
        }
        break;
    default:
        break; // a character drawn in font number (attribute AND 0x0F)
    }
}

/// Draws the track's character at its pen with the spacing rule.
void drawCharacter(const Stage& s, FrameBuffer& buffer, Track& t) {
    int x = t.x;
    DrawGlyph(s.geometry, s.fonts, buffer, (t.attribute & kFontMask) - 1, x, t.y, t.endRow, true,
              std::uint8_t(t.character), t.format);
    t.x = std::int16_t(x);
}

} // namespace

std::uint16_t MessageSize(const MessageRecord& record) {
    const auto zero = std::find(record.bytes.begin(), record.bytes.end(), std::uint8_t{0});
    return std::uint16_t(zero - record.bytes.begin());
}

Track StartTrack(const MessageRecord& record, int topRow, int endRow, int pixelWidth) {
    Track t;
    t.message = record.data();
    t.size = MessageSize(record);
    t.topRow = std::int16_t(topRow);
    t.endRow = std::int16_t(endRow);
    t.pixelWidth = std::int16_t(pixelWidth);
    return t;
}

void ReadNextItem(Track& t, const Clock& clock) {
    using RS = ReaderState;
    auto produce = [&t](std::int16_t character, RS next) {
        t.character = character;
        t.nextReaderState = next;
    };
    switch (t.readerState) {
    case RS::ReadCell:
        readCell(t, clock);
        break;
    case RS::TimeHourUnits:
        produce(fieldChar(t, 1), RS::TimeColon);
        break;
    case RS::TimeColon:
        produce(':', RS::TimeMinuteTens);
        break;
    case RS::TimeMinuteTens:
        produce(fieldChar(t, 2), RS::TimeMinuteUnits);
        break;
    case RS::TimeMinuteUnits:
        produce(fieldChar(t, 3), RS::ReadCell);
        break;
    case RS::DateDayUnits:
        produce(fieldChar(t, 1), RS::DateFirstSlash);
        break;
    case RS::DateFirstSlash:
        produce('/', RS::DateMonthTens);
        break;
    case RS::DateMonthTens:
        produce(fieldChar(t, 2), RS::DateMonthUnits);
        break;
    case RS::DateMonthUnits:
        produce(fieldChar(t, 3), RS::DateSecondSlash);
        break;
    case RS::DateSecondSlash:
        produce('/', RS::DateCenturyTwo);
        break;
    case RS::DateCenturyTwo:
        produce('2', RS::DateCenturyZero);
        break;
    case RS::DateCenturyZero:
        produce('0', RS::DateYearTens);
        break;
    case RS::DateYearTens:
        produce(fieldChar(t, 4), RS::DateYearUnits);
        break;
    case RS::DateYearUnits:
        produce(fieldChar(t, 5), RS::ReadCell);
        break;
    case RS::TemperatureSecond:
        produce(fieldChar(t, 1), t.fieldText[2] != 0 ? RS::TemperatureThird : RS::ReadCell);
        break;
    case RS::TemperatureThird:
        produce(fieldChar(t, 2), RS::ReadCell);
        break;
    default:
        produce(0, RS::ReadCell);
        break;
    }
}

bool NextIsText(const Track& t) {
    return !(t.position < t.size && (t.message[t.position] & kClassMask) == kClassLead);
}

int ComposeLine(const Stage& s, FrameBuffer& buffer, Track& t) {
    int count = 0;
    for (;;) {
        ReadNextItem(t, s.clock);
        t.readerState = t.nextReaderState;
        if (t.character != 0) {
            drawCharacter(s, buffer, t);
            ++count;
        }
        if (t.phaseFlag || t.endFlag || t.x >= t.pixelWidth) return count;
    }
}

TypedCharacter TypeNextCharacter(const Stage& s, FrameBuffer& buffer, Track& t) {
    TypedCharacter typed;
    do {
        ReadNextItem(t, s.clock);
        t.readerState = t.nextReaderState;
        if (t.character != 0) {
            drawCharacter(s, buffer, t);
            ++typed.count;
        }
        if (t.phaseFlag || t.endFlag || t.x >= t.pixelWidth) {
            typed.finished = true;
            return typed;
        }
    } while (t.character == 0);
    return typed;
}

std::uint32_t StepDelay(Track& t, int speed) {
    speed = std::clamp(speed, PreviewSettings::kMinSpeed, PreviewSettings::kMaxSpeed);
    std::uint32_t delay = 0;
    switch (t.delayRequest) {
    case DelayRequest::Pause:
        delay = std::uint32_t(t.pauseLength) * kPauseUnitTicks;
        break;
    case DelayRequest::Ticks:
        delay = t.pauseLength;
        break;
    case DelayRequest::None:
        delay = t.effectType != EffectType::Scroller || t.character != 0 ? std::uint32_t(speed) : 0;
        break;
    }
    t.delayRequest = DelayRequest::None;
    return delay;
}

std::uint32_t DisplayTimeTicks(int position) {
    position = std::clamp(position, 0, PreviewSettings::kMaxDisplayTimePosition);
    if (position < int(kDisplayTimeTable.size())) return kDisplayTimeTable[std::size_t(position)];
    return std::uint32_t(position - 13) * kDisplayTimeStep;
}

Player::Player(Emulator& emulator, const Clock& clock) : m_emulator(emulator), m_clock(clock) {}

PlayStart Player::start(const std::array<MessageRecord, kPageCount>& pages, int index,
                        const PreviewSettings& settings) {
    index = std::clamp(index, 0, kPageCount - 1);
    return start(pages[std::size_t(index)], pages[std::size_t((index + 1) % kPageCount)], settings);
}

PlayStart Player::start(const MessageRecord& record, const MessageRecord& following,
                        const PreviewSettings& settings) {
    m_hasLower = false;
    m_upperCopy = record;
    const auto kind = MessageKind(m_upperCopy.kind());
    if (kind == MessageKind::Lower) return PlayStart::LowerMessage;
    if (MessageSize(m_upperCopy) == 0) return PlayStart::EmptyMessage;

    TickCounters& c = m_emulator.counters;
    c.StepDelayUpper = 0;
    c.StepDelayLower = 0;
    c.DisplayTimeCounter = DisplayTimeTicks(settings.DisplayTimePosition);

    const SignGeometry& g = m_emulator.geometry;
    m_upper = StartTrack(m_upperCopy, 0, g.height, g.pixelWidth());
    if (kind == MessageKind::Upper) {
        m_hasLower = true;
        m_lowerCopy = following;
        m_upper.endRow = std::int16_t(g.height / 2);
        m_lower = StartTrack(m_lowerCopy, g.height / 2, g.height, g.pixelWidth());
    }
    m_upperZeroRun = 0;
    m_lowerZeroRun = 0;
    m_generator.restart(m_generatorStart);
    return PlayStart::Playing;
}

Stage Player::stage() {
    return {m_emulator.geometry,
            m_emulator.glyphs.table(),
            m_emulator.frame,
            m_emulator.scratch,
            m_paintLeds ? &m_emulator.bitmap : nullptr,
            m_clock,
            m_generator};
}

bool Player::stepTrack(Track& track, std::atomic<std::uint32_t>& counter, int& zeroRun, int speed) {
    const bool painted = EffectStep(stage(), track);
    std::uint32_t delay = StepDelay(track, speed);
    if (delay == 0) {
        // A track with nothing to show (or an empty page below an upper message) never asks
        // for a delay; past the limit it waits a tick per step instead of keeping the
        // processor busy. Real messages take a few dozen steps in a row at most.
        if (zeroRun < kZeroDelayStepLimit) ++zeroRun;
        if (zeroRun >= kZeroDelayStepLimit) delay = 1;
    } else {
        zeroRun = 0;
    }
    counter = delay;
    return painted;
}

int Player::pass(int speed, const std::function<void()>& painted) {
    TickCounters& c = m_emulator.counters;
    int steps = 0;
    if (c.StepDelayUpper.load() == 0) {
        if (stepTrack(m_upper, c.StepDelayUpper, m_upperZeroRun, speed) && painted) painted();
        ++steps;
    }
    if (m_hasLower && c.StepDelayLower.load() == 0) {
        if (stepTrack(m_lower, c.StepDelayLower, m_lowerZeroRun, speed) && painted) painted();
        ++steps;
    }
    return steps;
}

bool Player::stepDue() const {
    const TickCounters& c = m_emulator.counters;
    return c.StepDelayUpper.load() == 0 || (m_hasLower && c.StepDelayLower.load() == 0);
}

bool Player::switchingEnd(const PreviewSettings& settings) const {
    return settings.switching == 1 && m_emulator.counters.DisplayTimeCounter.load() == 0 &&
           m_upper.endFlag;
}

} // namespace pixbar