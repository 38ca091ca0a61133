#pragma once

// Reads an animated GIF back with giflib the way a viewer shows it: each frame drawn over the
// picture the frames before it left.

#include <gif_lib.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace giftest {

struct ShownFrame {
    std::vector<std::uint32_t> pixels; ///< 0x00RRGGBB, the whole screen after this frame
    int delay = 0;                     ///< hundredths of a second
    int left = 0, top = 0, width = 0, height = 0;
    int disposal = 0;
};

struct Animation {
    bool ok = false;
    int width = 0;
    int height = 0;
    int colours = 0;
    bool loops = false; ///< the NETSCAPE2.0 block asks for endless looping
    std::vector<ShownFrame> frames;

    std::uint32_t at(std::size_t frame, int x, int y) const {
        return frames[frame].pixels[std::size_t(y) * width + x];
    }
    int totalDelay() const {
        int sum = 0;
        for (const ShownFrame& f : frames) sum += f.delay;
        return sum;
    }
};

inline Animation readAnimation(const std::filesystem::path& file) {
    Animation a;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(file.c_str(), &error);
    if (!gif) return a;
    if (DGifSlurp(gif) != GIF_OK || !gif->SColorMap) {
        DGifCloseFile(gif, &error);
        return a;
    }
    a.width = gif->SWidth;
    a.height = gif->SHeight;
    a.colours = gif->SColorMap->ColorCount;
    auto colour = [&](int index) {
        const GifColorType c = gif->SColorMap->Colors[index];
        return std::uint32_t(c.Red) << 16 | std::uint32_t(c.Green) << 8 | c.Blue;
    };
    // giflib keeps the blocks before the first image with that image.
    if (gif->ImageCount > 0) {
        const SavedImage& first = gif->SavedImages[0];
        for (int i = 0; i + 1 < first.ExtensionBlockCount; ++i) {
            const ExtensionBlock& b = first.ExtensionBlocks[i];
            const ExtensionBlock& next = first.ExtensionBlocks[i + 1];
            if (b.Function == APPLICATION_EXT_FUNC_CODE && b.ByteCount == 11 &&
                std::string(reinterpret_cast<const char*>(b.Bytes), 11) == "NETSCAPE2.0")
                a.loops = next.ByteCount == 3 && next.Bytes[0] == 1 && next.Bytes[1] == 0 &&
                          next.Bytes[2] == 0;
        }
    }
    std::vector<std::uint32_t> screen(std::size_t(a.width) * a.height,
                                      colour(gif->SBackGroundColor));
    for (int n = 0; n < gif->ImageCount; ++n) {
        const SavedImage& image = gif->SavedImages[n];
        GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
        DGifSavedExtensionToGCB(gif, n, &gcb);
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y)
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[std::size_t(y) * d.Width + x];
                if (index == gcb.TransparentColor) continue;
                screen[std::size_t(d.Top + y) * a.width + d.Left + x] = colour(index);
            }
        a.frames.push_back(
            {screen, gcb.DelayTime, d.Left, d.Top, d.Width, d.Height, gcb.DisposalMode});
    }
    DGifCloseFile(gif, &error);
    a.ok = true;
    return a;
}

/// Hundredths of a second of tick `t`, rounded as the export rounds them.
inline int hundredths(std::uint64_t t) {
    return int((t * 12 + 5) / 10);
}

/// The frame a viewer shows `cs` hundredths after the start; -1 past the end.
inline int frameAt(const Animation& a, int cs) {
    int start = 0;
    for (std::size_t i = 0; i < a.frames.size(); ++i) {
        if (cs < start + a.frames[i].delay) return int(i);
        start += a.frames[i].delay;
    }
    return -1;
}

} // namespace giftest
