#pragma once

#include "filmstrip.h"
#include "pixbar.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace pixbar {

/// GIF delays count hundredths of a second; a tick is 12 ms.
inline constexpr int kGifMsPerTick = 12;
/// Viewers stretch a frame shorter than this (in hundredths) to a tenth of a second, so no
/// frame is made shorter: a picture that would be gone sooner is left out.
inline constexpr int kGifMinDelay = 2;
inline constexpr int kGifMaxDelay = 0xFFFF;
/// Palette indexes of the LED picture.
inline constexpr std::uint8_t kGifGap = 0;
inline constexpr std::uint8_t kGifLedOff = 1;
inline constexpr std::uint8_t kGifLedOn = 2;
inline constexpr std::uint8_t kGifUnchanged = 3; ///< transparent: the frame before shows through

/// Hundredths of a second from tick 0 to `tick`, rounded, so that the delays of a strip add
/// up to its real length.
int GifTime(std::uint64_t tick);

/// The pictures of a film strip as a looping GIF at the sign's speed: each frame is the LED
/// picture as RenderLeds paints it, cropped to the sign; a picture like the one before
/// lengthens it, and after the first frame only the rectangle that changed is stored.
class GifAnimation {
public:
    explicit GifAnimation(const SignGeometry& geometry);
    ~GifAnimation();
    GifAnimation(const GifAnimation&) = delete;
    GifAnimation& operator=(const GifAnimation&) = delete;

    /// The picture shown from `tick` on; ticks come in increasing order.
    void add(std::uint64_t tick, const FrameBuffer& frame);
    /// Ends the last picture at `endTick` and returns the file; empty when giflib failed.
    std::vector<std::uint8_t> finish(std::uint64_t endTick);

    int width() const { return m_width; }
    int height() const { return m_height; }

private:
    struct Encoder;
    struct Frame {
        int left = 0, top = 0, width = 0, height = 0;
        std::vector<std::uint8_t> pixels;
        int delay = 0;
        bool transparent = false;
    };
    void endPicture(std::uint64_t tick);
    void write(const Frame& frame);

    SignGeometry m_geometry;
    int m_width = 0;
    int m_height = 0;
    LedBitmap m_bitmap;
    std::vector<std::uint8_t> m_shown;   ///< the picture the frames written so far leave
    std::vector<std::uint8_t> m_pending; ///< the picture being lengthened
    FrameBuffer m_pendingFrame{};
    std::uint64_t m_pendingTick = 0;
    bool m_hasPending = false;
    Frame m_held; ///< written once the next frame is known, so a last short one can join it
    bool m_hasHeld = false;
    std::unique_ptr<Encoder> m_encoder;
};

/// Plays the strip and encodes it; empty when giflib failed.
std::vector<std::uint8_t> EncodeAnimation(HeadlessTest& test, const StripTicks& ticks);
/// Writes the strip as a GIF file; false when it cannot be encoded or written.
bool WriteAnimation(HeadlessTest& test, const StripTicks& ticks, const std::filesystem::path& file);
/// The designer's export: plays page `index` as "Testuj" would on a copy of `sign` (its glyph
/// sets and geometry), without touching the sign's own picture, and writes its first pass.
bool ExportAnimation(const Emulator& sign, const std::array<MessageRecord, kPageCount>& pages,
                     int index, const PreviewSettings& settings, const Clock& clock,
                     const std::filesystem::path& file);

} // namespace pixbar
