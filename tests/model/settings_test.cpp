#include "settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <unistd.h>

using namespace pixbar;
namespace fs = std::filesystem;

namespace {

class ConfigFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("pixbar-cfg-" + std::to_string(::getpid()));
        fs::create_directories(dir);
        file = dir / kConfigFile;
    }
    void TearDown() override { fs::remove_all(dir); }
    void write(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
    std::string read() {
        std::ostringstream s;
        s << std::ifstream(file, std::ios::binary).rdbuf();
        return s.str();
    }
    fs::path dir, file;
};

} // namespace

TEST_F(ConfigFile, ValuesAreWrittenAsSevenLines) {
    ASSERT_EQ(WriteLdCfg(file, ProgramSettings{" COM1 ", 95, 2, 12, 8, 8, 1}), 0);
    EXPECT_EQ(read(), "COM1\n95\n2\n12\n8\n8\n1\n");
    ProgramSettings fresh;
    EXPECT_EQ(fresh.brightness, 90); // the slider's start value, kept when there is no file
}

TEST_F(ConfigFile, RoundTripKeepsEveryValue) {
    ProgramSettings s{"COM7", 100, 20, 134, 24, 16, 65535};
    ASSERT_EQ(WriteLdCfg(file, s), 0);
    ProgramSettings back;
    back.portName = "x";
    ASSERT_EQ(ReadLdCfg(file, back), 0);
    EXPECT_EQ(back, s);
}

TEST_F(ConfigFile, MissingLinesTakeTheirDefaults) {
    write("COM2\nx\n3\n7\n");
    ProgramSettings s{"x", 1, 1, 1, 3, 16, 9};
    ASSERT_EQ(ReadLdCfg(file, s), 0);
    EXPECT_EQ(s, (ProgramSettings{"COM2", 95, 3, 7, 8, 8, 1}));
}

TEST_F(ConfigFile, LinesAreTrimmedAndCheckedAsWholeIntegers) {
    write("  COM3 \t\r\n 60\r\n4x\n\n+12\n-5\n 0042 \n");
    ProgramSettings s;
    ASSERT_EQ(ReadLdCfg(file, s), 0);
    EXPECT_EQ(s.portName, "COM3");
    EXPECT_EQ(s.brightness, 60);
    EXPECT_EQ(s.scrollSpeed, 2);          // "4x" is not a number
    EXPECT_EQ(s.displayTimePosition, 12); // empty line
    EXPECT_EQ(s.signWidth, 12);
    EXPECT_EQ(s.signHeight, -5); // taken as it stands; the geometry check comes later
    EXPECT_EQ(s.signSerial, 42);
    write("\n");
    ASSERT_EQ(ReadLdCfg(file, s), 0);
    EXPECT_EQ(s.portName, "COM1");
}

TEST_F(ConfigFile, IntegerLineIsOneOptionalSignThenDigits) {
    const struct {
        const char* line;
        int value; // 8 is the width line's default
    } cases[] = {
        {"+5", 5},   {"-5", -5}, {" 17\t", 17}, {"+-5", 8}, {"-+5", 8}, {"--5", 8},
        {"++5", 8},  {"+", 8},   {"-", 8},       {"5 5", 8}, {"0x10", 8}, {"5.0", 8},
        {"+ 5", 8},  {"1e3", 8}, {"99999999999", 8},
    };
    for (const auto& c : cases) {
        write(std::string("COM1\n95\n2\n12\n") + c.line + "\n");
        ProgramSettings s;
        s.signWidth = 0;
        ASSERT_EQ(ReadLdCfg(file, s), 0);
        EXPECT_EQ(s.signWidth, c.value) << '"' << c.line << '"';
    }
}

TEST_F(ConfigFile, UnreadableOrUnwritableChangesNothing) {
    ProgramSettings s{"COM9", 1, 2, 3, 4, 16, 6};
    const ProgramSettings before = s;
    EXPECT_EQ(ReadLdCfg(dir / "none.cfg", s), 1);
    EXPECT_EQ(s, before);
    // A folder or a device is not a file of empty lines.
    fs::create_directory(dir / "folder.cfg");
    EXPECT_EQ(ReadLdCfg(dir / "folder.cfg", s), 1);
    EXPECT_EQ(ReadLdCfg("/dev/null", s), 1);
    EXPECT_EQ(s, before);
    EXPECT_EQ(WriteLdCfg(dir / "no-such-folder" / kConfigFile, s), 1);
}

TEST(SignGeometryFromConfig, OutOfRangeValuesFallBackToTheDefaultSign) {
    ProgramSettings s;
    for (auto [w, h, ww, wh] : std::initializer_list<std::array<int, 4>>{
             {0, 8, 8, 8}, {25, 16, 8, 16}, {24, 16, 24, 16}, {1, 12, 1, 8}, {-3, 0, 8, 8}}) {
        s.signWidth = w;
        s.signHeight = h;
        SanitizeGeometry(s);
        EXPECT_EQ(s.signWidth, ww);
        EXPECT_EQ(s.signHeight, wh);
    }
}

TEST(SignConfigBlock, SwitchingFlagFollowsTheDisplayTime) {
    EXPECT_EQ(BuildSignConfig(100, 2, 134), (SignConfig{0, 100, 2, 0x86, 0, 0, 0, 0}));
    EXPECT_EQ(BuildSignConfig(95, 20, 133), (SignConfig{1, 95, 20, 133, 0, 0, 0, 0}));
    EXPECT_EQ(BuildSignConfig(1, 1, 0), (SignConfig{1, 1, 1, 0, 0, 0, 0, 0}));
}

TEST(DisplayTime, CaptionsAcrossTheScale) {
    const std::pair<int, const char*> cases[] = {{0, "0s"},
                                                 {9, "9s"},
                                                 {10, "10s"},
                                                 {11, "20s"},
                                                 {12, "30s"},
                                                 {13, "40s"},
                                                 {14, "60s"},
                                                 {15, "1min"},
                                                 {16, "1min30s"},
                                                 {17, "2min"},
                                                 {132, "59min30s"},
                                                 {133, "60min"},
                                                 {134, "nie przełączaj"}};
    for (auto [p, text] : cases) EXPECT_EQ(DisplayTimeText(p), text) << p;
}

TEST(SerialNumberText, DecimalDigitsOnlyKeptToSixteenBits) {
    struct Case {
        const char* text;
        std::optional<std::uint16_t> value;
    };
    const Case cases[] = {
        {"1", 1},
        {"4660", 4660},
        {" 12 ", 12},
        {"65535", 65535},
        {"65536", 0},
        {"65537", 1},
        {"165536", 34464},
        {"99999999999999999999", 65535},
        {"0", 0},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"-1", std::nullopt},
        {"+5", std::nullopt},
        {"12a", std::nullopt},
        {"abc", std::nullopt},
        {"1 2", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseSerialNumber(c.text), c.value);
    }
}

TEST(SignLengthText, LengthsUpToSixteenRegisters) {
    const char* const lengths[] = {"22cm",  "44cm",  "60cm",  "80cm",  "96cm",  "115cm",
                                   "132cm", "150cm", "170cm", "190cm", "205cm", "225cm",
                                   "240cm", "260cm", "280cm", "300cm"};
    for (int w = 1; w <= 16; ++w) EXPECT_EQ(SignLengthText(w), lengths[w - 1]) << w;
    for (int w : {0, 17, 24, 25}) EXPECT_EQ(SignLengthText(w), "") << w;
    EXPECT_EQ(RegisterCountText(8), "8 rejestrów");
    EXPECT_EQ(RegisterCountText(17), "17 rejestrów");
}
