#pragma once

#include <QImage>
#include <QString>

#include <filesystem>
#include <vector>

namespace specimen {

/// The sample line every text face shows first.
inline constexpr const char* kSampleText = "Zażółć gęślą jaźń ABC abc 0123";

/// What to draw: the data folder and, when not empty, only these font numbers (1..15).
struct SpecimenOptions {
    std::filesystem::path dataDir{"."};
    std::vector<int> fonts;
};

/// Renders every font of the data folder as LED signs stacked into one picture: per font a
/// caption, its sample line and all its glyphs. On failure the image is null and `error`
/// names the file that could not be used.
QImage RenderSpecimen(const SpecimenOptions& options, QString& error);

} // namespace specimen
