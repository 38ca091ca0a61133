#pragma once

#include "ledmessagecon.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace pixbar::test {

/// Every lead cell is followed by its parameter and no parameter stands alone.
/// Text in these tests never uses character 0x01, so any cell holding it must follow a lead.
inline ::testing::AssertionResult pairsIntact(const MessageRecord& r) {
    const int end = r.end();
    bool afterLead = false;
    for (int i = 0; i < kCellCount; ++i) {
        const Cell c = r.cell(i);
        if (afterLead) {
            if (c.attribute == kCellEnd || c.character != kParameterMark)
                return ::testing::AssertionFailure() << "lead at " << i - 1 << " has no parameter";
            afterLead = false;
            continue;
        }
        if (c.attribute == kAttrLead) {
            if (i == kCellCount - 1)
                return ::testing::AssertionFailure() << "lead alone in the last cell";
            afterLead = true;
        } else if (c.attribute != kCellEnd && c.character == kParameterMark) {
            return ::testing::AssertionFailure() << "parameter without lead at " << i;
        }
        if (i > end && c.attribute != kCellEnd)
            return ::testing::AssertionFailure() << "cell " << i << " after the end";
    }
    if (r.bytes[kSentinelOffset] != 0 || r.bytes[kSentinelOffset + 1] != 0)
        return ::testing::AssertionFailure() << "sentinel not zero";
    return ::testing::AssertionSuccess();
}

/// A grid as the main window's will be: every cursor move is put to the editor's canSelect.
class FakeGrid : public MessageGrid {
public:
    explicit FakeGrid(MessageContainer& editor) : m_editor(editor) { editor.bind(this); }

    int col() const override { return m_col; }
    int row() const override { return m_row; }
    void setCol(int col) override {
        if (m_editor.canSelect(col, m_row)) m_col = col;
    }
    void setRow(int row) override {
        if (m_editor.canSelect(m_col, row)) m_row = row;
    }
    int colCount() const override { return kGridColumns; }
    int rowCount() const override { return kGridRows; }
    void setFocus() override { ++focusCalls; }
    void invalidate() override { ++repaints; }
    void drawCellImage(const CellRect& rect, const Image32& image) override {
        lastRect = rect;
        lastImage.assign(image.pixels, image.pixels + std::size_t(image.stride) * image.height);
        ++copies;
    }

    int cell() const { return m_row * kGridColumns + m_col; }
    /// Puts the cursor anywhere, as a test set-up, without asking the editor.
    void put(int cell) {
        m_col = cell % kGridColumns;
        m_row = cell / kGridColumns;
    }

    int focusCalls = 0;
    int repaints = 0;
    int copies = 0;
    CellRect lastRect;
    std::vector<std::uint32_t> lastImage;

private:
    MessageContainer& m_editor;
    int m_col = 0;
    int m_row = 0;
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
