#pragma once

#include "editorgrid.h"
#include "ledmessagecon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace pixbar::test {

/// Items keep their two cells, nothing follows the end cell, and the sentinel is zero.
/// Text in these tests never uses character 0x01, so any cell holding it must follow a lead.
inline ::testing::AssertionResult pairsIntact(const MessageRecord& r) {
    if (const std::string broken = BrokenPair(r); !broken.empty())
        return ::testing::AssertionFailure() << broken;
    for (int i = r.end() + 1; i < kCellCount; ++i)
        if (r.cell(i).attribute != kCellEnd)
            return ::testing::AssertionFailure() << "cell " << i << " after the end";
    if (r.bytes[kSentinelOffset] != 0 || r.bytes[kSentinelOffset + 1] != 0)
        return ::testing::AssertionFailure() << "sentinel not zero";
    return ::testing::AssertionSuccess();
}

/// A grid that also counts focus calls, repaints and cell images, keeping the last image.
class FakeGrid : public CursorGrid {
public:
    using CursorGrid::CursorGrid;

    void setFocus() override { ++focusCalls; }
    void invalidate() override { ++repaints; }
    void drawCellImage(const CellRect& rect, const Image32& image) override {
        lastRect = rect;
        lastImage.assign(image.pixels, image.pixels + std::size_t(image.stride) * image.height);
        ++copies;
    }

    int focusCalls = 0;
    int repaints = 0;
    int copies = 0;
    CellRect lastRect;
    std::vector<std::uint32_t> lastImage;
};

/// An editor on a 16-pixel sign with an empty font table, bound to a fake grid.
class EditorTest : public ::testing::Test {
protected:
    FontTable fonts{};
    SignGeometry geometry{24, 16, 26};
    MessageContainer editor{EditorContext{fonts, geometry}};
    FakeGrid grid{editor};

    /// Types `text` at the cursor, one key press per character.
    void type(std::string_view text) {
        for (char ch : text) editor.keyPress(std::uint8_t(ch));
    }
    /// Writes cells straight into a record and loads it, the cursor left at cell 0.
    void setCells(const std::vector<Cell>& cells, int from = 0) {
        MessageRecord r = editor.record();
        for (std::size_t i = 0; i < cells.size(); ++i) r.setCell(from + int(i), cells[i]);
        editor.loadRecord(r);
    }
    /// Fills every cell with text in font 2, characters 'a', 'b', ... repeating.
    void fillText() {
        MessageRecord r;
        for (int i = 0; i < kCellCount; ++i) r.setCell(i, textCell(i));
        editor.loadRecord(r);
    }
    static Cell textCell(int i) { return {0x02, std::uint8_t('a' + i % 26)}; }
    Cell cell(int i) const { return editor.record().cell(i); }
    int end() const { return editor.record().end(); }
};

/// A folder of its own under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() /
                 ("pixbar-model-" + std::to_string(rd()) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

} // namespace pixbar::test
