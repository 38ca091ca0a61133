#include "gifanimation.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <fstream>

namespace pixbar {

namespace {

constexpr int kColourBits = 2; ///< four palette entries
constexpr std::array<std::uint32_t, 4> kPalette{kLedGap, kLedOff, kLedOn, kLedGap};
constexpr char kLoopApplication[] = "NETSCAPE2.0";
constexpr std::uint8_t kLoopForever[] = {1, 0, 0}; ///< sub-block 1, loop count 0
constexpr std::size_t kSparseChange = 8; ///< fewer than 1 in 8 pixels of the rectangle changed

int writeBytes(GifFileType* gif, const GifByteType* data, int length) {
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

} // namespace

int GifTime(std::uint64_t tick) {
    return int((tick * kGifMsPerTick + 5) / 10);
}

struct GifAnimation::Encoder {
    std::vector<std::uint8_t> bytes;
    GifFileType* gif = nullptr;
    bool failed = false;

    ~Encoder() { close(); }
    void close() {
        if (!gif) return;
        int error = 0;
        if (EGifCloseFile(gif, &error) == GIF_ERROR) failed = true;
        gif = nullptr;
    }
    void check(int result) {
        if (result == GIF_ERROR) failed = true;
    }
};

GifAnimation::GifAnimation(const SignGeometry& geometry)
    : m_geometry(geometry), m_encoder(std::make_unique<Encoder>()) {
    const int pitch = LedPitch(geometry);
    m_width = geometry.pixelWidth() * pitch;
    m_height = geometry.height * pitch;
    m_shown.assign(std::size_t(m_width) * m_height, kGifGap);

    Encoder& e = *m_encoder;
    int error = 0;
    e.gif = EGifOpen(&e.bytes, writeBytes, &error);
    if (!e.gif) {
        e.failed = true;
        return;
    }
    EGifSetGifVersion(e.gif, true);
    std::array<GifColorType, kPalette.size()> colours{};
    for (std::size_t i = 0; i < kPalette.size(); ++i)
        colours[i] = {GifByteType(kPalette[i] >> 16), GifByteType(kPalette[i] >> 8),
                      GifByteType(kPalette[i])};
    ColorMapObject* map = GifMakeMapObject(int(colours.size()), colours.data());
    if (!map) {
        e.failed = true;
        return;
    }
    e.check(EGifPutScreenDesc(e.gif, m_width, m_height, kColourBits, kGifGap, map));
    GifFreeMapObject(map);
    e.check(EGifPutExtensionLeader(e.gif, APPLICATION_EXT_FUNC_CODE));
    e.check(EGifPutExtensionBlock(e.gif, int(sizeof kLoopApplication - 1), kLoopApplication));
    e.check(EGifPutExtensionBlock(e.gif, int(sizeof kLoopForever), kLoopForever));
    e.check(EGifPutExtensionTrailer(e.gif));
}

GifAnimation::~GifAnimation() = default;

void GifAnimation::add(std::uint64_t tick, const FrameBuffer& frame) {
    if (m_hasPending) {
        if (SamePicture(m_geometry, frame, m_pendingFrame)) return;
        // Too soon for a frame of its own: the picture before stays a little longer.
        if (GifTime(tick) - GifTime(m_pendingTick) < kGifMinDelay) return;
        endPicture(tick);
    }
    m_pendingFrame = frame;
    m_pendingTick = tick;
    m_hasPending = true;
}

void GifAnimation::endPicture(std::uint64_t tick) {
    RenderLeds(m_geometry, m_pendingFrame, m_bitmap);
    m_pending.resize(m_shown.size());
    for (int y = 0; y < m_height; ++y)
        for (int x = 0; x < m_width; ++x) {
            const std::uint32_t c = m_bitmap.at(x, y);
            m_pending[std::size_t(y) * m_width + x] = c == kLedOn    ? kGifLedOn
                                                      : c == kLedOff ? kGifLedOff
                                                                     : kGifGap;
        }

    Frame f;
    const bool first = !m_hasHeld;
    int left = m_width, top = m_height, right = -1, bottom = -1;
    if (first) {
        left = top = 0;
        right = m_width - 1;
        bottom = m_height - 1;
    } else {
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x) {
                const std::size_t i = std::size_t(y) * m_width + x;
                if (m_pending[i] == m_shown[i]) continue;
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        if (right < 0) left = top = right = bottom = 0; // the same LEDs: one unchanged pixel
    }
    f.left = left;
    f.top = top;
    f.width = right - left + 1;
    f.height = bottom - top + 1;
    // Unchanged pixels are left transparent when few pixels changed (a slide, a blink, pixels
    // appearing); when many changed (a scroller moves everything) writing them again packs
    // better, since the rows then repeat.
    std::size_t changed = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            const std::size_t i = std::size_t(y) * m_width + x;
            changed += m_pending[i] != m_shown[i];
        }
    f.transparent = !first && changed * kSparseChange < std::size_t(f.width) * f.height;
    f.pixels.reserve(std::size_t(f.width) * f.height);
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x) {
            const std::size_t i = std::size_t(y) * m_width + x;
            f.pixels.push_back(f.transparent && m_pending[i] == m_shown[i] ? kGifUnchanged
                                                                           : m_pending[i]);
        }
    f.delay = GifTime(tick) - GifTime(m_pendingTick);
    std::swap(m_shown, m_pending);

    if (m_hasHeld) write(m_held);
    m_held = std::move(f);
    m_hasHeld = true;
    m_hasPending = false;
}

void GifAnimation::write(const Frame& frame) {
    Encoder& e = *m_encoder;
    if (e.failed) return;
    // A delay longer than one frame can hold goes on in frames of one unchanged pixel.
    int delay = frame.delay;
    bool picture = true;
    do {
        const int part = std::min(delay, kGifMaxDelay);
        delay -= part;
        GraphicsControlBlock gcb{DISPOSE_DO_NOT, false, part,
                                 picture && !frame.transparent ? NO_TRANSPARENT_COLOR
                                                               : int(kGifUnchanged)};
        GifByteType extension[4];
        const auto length = EGifGCBToExtension(&gcb, extension);
        e.check(EGifPutExtension(e.gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension));
        if (picture) {
            e.check(EGifPutImageDesc(e.gif, frame.left, frame.top, frame.width, frame.height, false,
                                     nullptr));
            std::vector<GifPixelType> line(std::size_t(frame.width));
            for (int y = 0; y < frame.height && !e.failed; ++y) {
                std::copy_n(frame.pixels.begin() + std::ptrdiff_t(y) * frame.width, frame.width,
                            line.begin());
                e.check(EGifPutLine(e.gif, line.data(), frame.width));
            }
        } else {
            e.check(EGifPutImageDesc(e.gif, 0, 0, 1, 1, false, nullptr));
            GifPixelType unchanged = kGifUnchanged;
            e.check(EGifPutLine(e.gif, &unchanged, 1));
        }
        picture = false;
    } while (delay > 0 && !e.failed);
}

std::vector<std::uint8_t> GifAnimation::finish(std::uint64_t endTick) {
    if (m_hasPending) {
        if (m_hasHeld && GifTime(endTick) - GifTime(m_pendingTick) < kGifMinDelay)
            m_held.delay += GifTime(endTick) - GifTime(m_pendingTick); // too short to show
        else
            endPicture(endTick);
        m_hasPending = false;
    }
    if (m_hasHeld) write(m_held);
    m_hasHeld = false;
    Encoder& e = *m_encoder;
    e.close();
    if (e.failed) return {};
    return std::move(e.bytes);
}

std::vector<std::uint8_t> EncodeAnimation(HeadlessTest& test, const StripTicks& ticks) {
    GifAnimation gif(test.geometry());
    const std::uint64_t end = SampleStrip(
        test, ticks, [&](std::uint64_t tick, const FrameBuffer& frame) { gif.add(tick, frame); });
    return gif.finish(end);
}

bool WriteAnimation(HeadlessTest& test, const StripTicks& ticks,
                    const std::filesystem::path& file) {
    const std::vector<std::uint8_t> bytes = EncodeAnimation(test, ticks);
    if (bytes.empty()) return false;
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    return bool(out);
}

bool ExportAnimation(const Emulator& sign, const std::array<MessageRecord, kPageCount>& pages,
                     int index, const PreviewSettings& settings, const Clock& clock,
                     const std::filesystem::path& file) {
    auto copy = std::make_unique<Emulator>();
    copy->glyphs = sign.glyphs;
    copy->geometry = sign.geometry;
    InitFrame(*copy);
    HeadlessTest test(*copy, clock, settings);
    test.start(pages, index);
    return WriteAnimation(test, {}, file);
}

} // namespace pixbar
