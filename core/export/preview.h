#pragma once

#include "filmstrip.h"
#include "glyphs.h"
#include "messagerecord.h"
#include "player.h"
#include "timing.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pixbar {

/// What to play and how: the pages as the designer holds them, the one to play, the sign's
/// size and speeds, and which ticks to show.
struct PreviewRequest {
    std::array<MessageRecord, kPageCount> pages{};
    int index = 0; ///< 0..7
    int width = 8; ///< registers
    int height = 8;
    PreviewSettings settings;
    StripTicks ticks;
    /// Font 14 and the graphic symbols as a sign holds them; empty: none / the data folder's.
    std::vector<std::uint8_t> userFont;
    std::vector<std::uint8_t> symbols;
};

/// Pictures of what the sign plays, for the command line and the service alike. `glyphs` has
/// the built-in fonts loaded and its start directory at the data folder (for the symbols).
class PreviewRenderer {
public:
    explicit PreviewRenderer(const GlyphSets& glyphs) : m_glyphs(glyphs) {}

    /// The animated GIF of the strip (the first full pass without one); `error` says why not.
    std::vector<std::uint8_t> gif(const PreviewRequest& request, const Clock& clock,
                                  std::string& error) const;
    /// The LED pictures of the strip stacked in one PNG, each as the emulated sign paints it.
    std::vector<std::uint8_t> png(const PreviewRequest& request, const Clock& clock,
                                  std::string& error) const;
    /// Calls `take` with each picture's frame, as `png` samples them.
    bool frames(const PreviewRequest& request, const Clock& clock, std::string& error,
                const std::function<void(Emulator&, const FrameBuffer&)>& take) const;

private:
    std::unique_ptr<Emulator> prepare(const PreviewRequest& request, std::string& error) const;
    const GlyphSets& m_glyphs;
};

} // namespace pixbar
