// Each effect's step: how a line of the sign moves from the composed picture (the scratch
// buffer) into the frame, and when the effect hands over to the next one. Reading the message
// and the timing of the steps live in player.cpp.
#include "player.h"

#include <algorithm>

namespace pixbar {

namespace {

void finish(Track& t) {
    t.phaseFlag = true;
    t.previousEffectType = t.effectType;
    t.effectType = t.nextEffectType;
}

void finishWithPause(Track& t) {
    finish(t);
    t.delayRequest = DelayRequest::Pause;
    t.pauseLength = 1;
}

/// A blink has shown its last state: the effect that ran before it resumes with a new phase.
void resumePrevious(Track& t) {
    t.phaseFlag = true;
    t.nextEffectType = t.previousEffectType;
    t.previousEffectType = t.effectType;
    t.effectType = t.nextEffectType;
}

/// The step's painting: only the LEDs that changed are redrawn, and the bitmap collects their
/// area for the window's repaint.
bool paint(const Stage& s) {
    if (s.bitmap) RenderChangedLeds(s.geometry, s.frame, *s.bitmap);
    return true;
}

/// Composes the next line into the scratch buffer; 0 when there was nothing to draw (the
/// effect has then finished).
int composingStart(const Stage& s, Track& t) {
    t.x = 0;
    t.y = t.topRow;
    ClearRows(s.geometry, s.scratch, t.topRow, t.endRow);
    t.phaseFlag = false;
    const int count = ComposeLine(s, s.scratch, t);
    if (count == 0) finish(t);
    return count;
}

bool stepScroller(const Stage& s, Track& t) {
    const SignGeometry& g = s.geometry;
    const int a = t.topRow;
    const int end = t.endRow;
    const int last = t.pixelWidth - 1;
    t.phaseFlag = false;
    t.endFlag = false;
    if (t.stepCount >= t.glyphAdvance) {
        const Track before = t;
        ReadNextItem(t, s.clock);
        if (t.character != 0) {
            const int f = t.attribute & kFontMask;
            const int i = f - 1;
            const bool unmapped = i == kIndexGraphicSymbols || i == kIndexSymbolFont;
            const FontEntry& font = s.fonts[std::size_t(i & 0x0F)];
            const auto code = std::uint8_t(t.character);
            bool touches = false;
            if (f >= 1 && !(t.format & 1) && !unmapped) {
                const std::uint8_t glyph = MapPolishLetter(code);
                for (int r = 0; r < font.height && a + r < g.height && !touches; ++r)
                    touches =
                        (font.row(glyph, unsigned(r)) & 0x80) && GetPixel(g, s.frame, last, a + r);
            }
            if (!touches) {
                t.y = std::int16_t(a);
                int x = t.pixelWidth; // the first hidden column
                DrawGlyph(g, s.fonts, s.frame, i, x, a, end, false, code, t.format);
                t.x = std::int16_t(x);
                t.glyphAdvance = font.width;
                t.readerState = t.nextReaderState;
                t.stepCount = 0;
                // A glyph lower than the area keeps the inverse band going below it.
                if (t.format & 1)
                    for (int r = a + font.height; r < end; ++r)
                        s.frame[std::size_t(r * g.stride + g.width)] = 0xFF;
            } else {
                for (int r = a; r < font.height && r < end; ++r)
                    s.frame[std::size_t(r * g.stride + g.width)] = 0;
                if (t.readerState == ReaderState::ReadCell) {
                    // Read the same cell again next step. Restoring the position (rather than
                    // stepping back two bytes) also brings back the message's last cell, whose
                    // read had already wrapped to the start.
                    t.position = before.position;
                    t.endFlag = before.endFlag;
                    t.passes = before.passes;
                    t.phaseFlag = before.phaseFlag;
                    t.nextEffectType = before.nextEffectType;
                }
            }
        } else {
            t.readerState = t.nextReaderState;
        }
    }
    ++t.stepCount;
    if (t.character != 0) ShiftRowsLeft(g, s.frame, a, end);
    paint(s);
    if (t.phaseFlag) {
        t.previousEffectType = t.effectType;
        t.effectType = t.nextEffectType;
    }
    return true;
}

bool stepStandingText(const Stage& s, Track& t) {
    t.phaseFlag = false;
    t.endFlag = false;
    t.x = 0;
    t.y = t.topRow;
    if (NextIsText(t)) ClearRows(s.geometry, s.frame, t.topRow, t.endRow);
    const int count = ComposeLine(s, s.frame, t);
    finish(t);
    if (count != 0) {
        t.delayRequest = DelayRequest::Pause;
        t.pauseLength = 1;
    }
    return paint(s);
}

bool stepSlideFromBottom(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        if (composingStart(s, t) == 0) return false;
        t.x = 0;
        t.y = t.endRow;
        CopyRows(s.geometry, s.frame, 0, t.y, t.topRow, t.endRow, s.scratch);
        t.phaseFlag = false;
    } else {
        t.x = 0;
        --t.y;
        if (t.y >= 0)
            CopyRows(s.geometry, s.frame, 0, t.y, t.topRow, t.endRow, s.scratch);
        else
            finishWithPause(t);
    }
    return paint(s);
}

bool stepSlideFromTop(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        if (composingStart(s, t) == 0) return false;
        t.x = 0;
        t.y = std::int16_t(-t.endRow);
        CopyRows(s.geometry, s.frame, 0, t.y, t.topRow, t.endRow, s.scratch);
        t.phaseFlag = false;
    } else {
        t.x = 0;
        ++t.y;
        if (t.y <= 0)
            CopyRows(s.geometry, s.frame, 0, t.y, t.topRow, t.endRow, s.scratch);
        else
            finishWithPause(t);
    }
    return paint(s);
}

void copyVisibleRow(const Stage& s, int row) {
    const SignGeometry& g = s.geometry;
    if (row < 0 || row >= g.height) return;
    const auto at = std::size_t(row * g.stride);
    std::copy_n(s.scratch.begin() + at, g.width, s.frame.begin() + at);
}

bool stepBlindFromBottom(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        if (composingStart(s, t) == 0) return false;
        t.x = 0;
        t.y = std::int16_t(t.endRow - 1);
        t.phaseFlag = false;
    } else {
        copyVisibleRow(s, t.y);
        --t.y;
        if (t.y < t.topRow) finishWithPause(t);
    }
    return paint(s);
}

bool stepBlindFromTop(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        if (composingStart(s, t) == 0) return false;
        t.x = 0;
        t.y = t.topRow;
        t.phaseFlag = false;
    } else {
        copyVisibleRow(s, t.y);
        ++t.y;
        if (t.y >= t.endRow) finishWithPause(t);
    }
    return paint(s);
}

bool stepPixels(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        if (composingStart(s, t) == 0) return false;
        t.effectCounter = kPixelsRounds;
        t.phaseFlag = false;
    } else {
        --t.effectCounter;
        if (t.effectCounter > 0) {
            const int rows = t.endRow - t.topRow;
            for (int i = 0; i < kPixelsPerRound && t.pixelWidth > 0 && rows > 0; ++i) {
                const auto r1 = std::int32_t(s.generator.next());
                const auto r2 = std::int32_t(s.generator.next());
                t.x = std::int16_t(r1 % t.pixelWidth);
                t.y = std::int16_t(t.topRow + r2 % rows);
                SetPixel(s.geometry, s.frame, t.x, t.y, GetPixel(s.geometry, s.scratch, t.x, t.y));
            }
        } else {
            t.x = 0;
            t.y = t.topRow;
            CopyRows(s.geometry, s.frame, 0, 0, t.topRow, t.endRow, s.scratch);
            finishWithPause(t);
        }
    }
    return paint(s);
}

bool stepBlinkInverse(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        t.effectCounter = kBlinkStates;
        t.phaseFlag = false;
    } else {
        InvertRows(s.geometry, s.frame, t.topRow, t.endRow);
        --t.effectCounter;
        t.delayRequest = DelayRequest::Ticks;
        t.pauseLength = kBlinkTicks;
        if (t.effectCounter == 0) resumePrevious(t);
    }
    return paint(s);
}

bool stepBlinkScreen(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        t.effectCounter = kBlinkStates;
        t.phaseFlag = false;
        t.x = 0;
        t.y = 0;
        CopyRows(s.geometry, s.scratch, 0, 0, t.topRow, t.endRow, s.frame);
    } else {
        if (t.effectCounter % 2 == 0) {
            ClearRows(s.geometry, s.frame, t.topRow, t.endRow);
        } else {
            t.x = 0;
            t.y = 0;
            CopyRows(s.geometry, s.frame, 0, 0, t.topRow, t.endRow, s.scratch);
        }
        --t.effectCounter;
        t.delayRequest = DelayRequest::Ticks;
        t.pauseLength = kBlinkTicks;
        if (t.effectCounter == 0) resumePrevious(t);
    }
    return paint(s);
}

/// Phase start of both line effects; false when there was nothing to draw.
bool composeLines(const Stage& s, Track& t) {
    t.x = 0;
    t.y = t.topRow;
    if (NextIsText(t)) ClearRows(s.geometry, s.frame, t.topRow, t.endRow);
    ClearRows(s.geometry, s.scratch, t.topRow, t.endRow);
    t.phaseFlag = false;
    if (ComposeLine(s, s.scratch, t) == 0) {
        finish(t);
        return false;
    }
    t.phaseFlag = false;
    return true;
}

/// Moves the row `source` of the composed line to frame row y, erasing frame row `erase`.
void moveRow(const Stage& s, const Track& t, int source, int erase) {
    for (int x = 0; x < t.pixelWidth; ++x) {
        SetPixel(s.geometry, s.frame, x, t.y, GetPixel(s.geometry, s.scratch, x, source));
        if (erase >= t.topRow && erase < t.endRow) SetPixel(s.geometry, s.frame, x, erase, 0);
    }
}

void completeLines(const Stage& s, Track& t) {
    t.x = 0;
    t.y = 0;
    CopyRows(s.geometry, s.frame, 0, 0, t.topRow, t.endRow, s.scratch);
    finishWithPause(t);
}

bool stepLinesFromBottom(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        if (!composeLines(s, t)) return false;
        t.effectCounter = t.topRow;
        t.y = std::int16_t(t.endRow - 1);
    } else if (t.effectCounter < t.endRow) {
        moveRow(s, t, t.effectCounter, t.y + 1);
        --t.y;
        if (t.y < t.effectCounter) {
            t.y = std::int16_t(t.endRow - 1);
            ++t.effectCounter;
        }
    } else {
        completeLines(s, t);
    }
    return paint(s);
}

bool stepLinesFromTop(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        if (!composeLines(s, t)) return false;
        t.effectCounter = std::int16_t(t.endRow - 1);
        t.y = t.topRow;
    } else if (t.effectCounter > t.topRow) {
        moveRow(s, t, t.effectCounter, t.y - 1);
        ++t.y;
        if (t.y > t.effectCounter) {
            t.y = t.topRow;
            --t.effectCounter;
        }
    } else {
        completeLines(s, t);
    }
    return paint(s);
}

void typeDelay(Track& t) {
    t.delayRequest = DelayRequest::Ticks;
    t.pauseLength = kBlinkTicks;
}

bool stepTypewriter(const Stage& s, Track& t) {
    if (t.phaseFlag) {
        t.x = 0;
        t.y = t.topRow;
        if (NextIsText(t)) ClearRows(s.geometry, s.frame, t.topRow, t.endRow);
        t.phaseFlag = false;
        const TypedCharacter typed = TypeNextCharacter(s, s.frame, t);
        if (typed.finished) {
            finishWithPause(t);
            return paint(s);
        }
        typeDelay(t);
        paint(s);
        t.phaseFlag = false;
        return true;
    }
    t.y = t.topRow;
    const TypedCharacter typed = TypeNextCharacter(s, s.frame, t);
    if (typed.count == 0 || typed.finished)
        finishWithPause(t);
    else
        typeDelay(t);
    return paint(s);
}

} // namespace

bool EffectStep(const Stage& s, Track& t) {
    switch (t.effectType) {
    case EffectType::Scroller:
        return stepScroller(s, t);
    case EffectType::StandingText:
        return stepStandingText(s, t);
    case EffectType::SlideFromBottom:
        return stepSlideFromBottom(s, t);
    case EffectType::SlideFromTop:
        return stepSlideFromTop(s, t);
    case EffectType::BlindFromBottom:
        return stepBlindFromBottom(s, t);
    case EffectType::BlindFromTop:
        return stepBlindFromTop(s, t);
    case EffectType::Pixels:
        return stepPixels(s, t);
    case EffectType::BlinkInverse:
        return stepBlinkInverse(s, t);
    case EffectType::BlinkScreen:
        return stepBlinkScreen(s, t);
    case EffectType::LinesFromBottom:
        return stepLinesFromBottom(s, t);
    case EffectType::LinesFromTop:
        return stepLinesFromTop(s, t);
    case EffectType::Typewriter:
        return stepTypewriter(s, t);
    }
    return false; // an unknown effect: the track stands still
}

} // namespace pixbar
