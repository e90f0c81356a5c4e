#include "config.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

using memsweep::ConfigStatus;

struct CountCase {
    const char* name;
    std::string bytes;
    ConfigStatus status;
    std::int32_t num;
};

void PrintTo(const CountCase& c, std::ostream* os) { *os << c.name; }

class ParseCount : public testing::TestWithParam<CountCase> {};

TEST_P(ParseCount, FollowsTheDecimalConversionRules) {
    const CountCase& c = GetParam();
    const memsweep::ConfigRead read = memsweep::parse_count(c.bytes.data(), c.bytes.size());
    EXPECT_EQ(read.status, c.status);
    EXPECT_EQ(read.num, c.num);
}

constexpr auto ok = ConfigStatus::ok;
constexpr auto bad = ConfigStatus::bad_format;
const std::string kBom = "\xEF\xBB\xBF";

const CountCase kCountCases[] = {
    {"Plain", "10", ok, 10},
    {"BlankLinesThenWords", "\n\n15 words", ok, 15},
    {"AllBlanksSkipped", " \t\v\f\r\n 3", ok, 3},
    {"WindowsLineEnd", "\t42\r\n", ok, 42},
    {"Plus", "+7", ok, 7},
    {"MinusZero", "-0", ok, 0},
    {"Negative", "-5", ok, -5},
    {"SecondLineIgnored", "5\n9", ok, 5},
    {"LeadingZeros", "007", ok, 7},
    {"StopsAtExponent", "1e3", ok, 1},
    {"StopsAtHexMark", "0x10", ok, 0},
    {"StopsAtPoint", "2.5", ok, 2},
    {"Int32Max", "2147483647", ok, INT32_MAX},
    {"Int32Min", "-2147483648", ok, INT32_MIN},
    {"BomThenCount", kBom + "10", ok, 10},
    {"BomThenBlanks", kBom + " \r\n8", ok, 8},
    {"Empty", "", bad, 0},
    {"OnlyBlanks", " \n\t", bad, 0},
    {"WordFirst", "abc 5", bad, 0},
    {"LonePlus", "+", bad, 0},
    {"LoneMinus", "-", bad, 0},
    {"SignThenBlank", "- 5", bad, 0},
    {"TwoSigns", "+-5", bad, 0},
    {"AboveInt32", "2147483648", bad, 0},
    {"BelowInt32", "-2147483649", bad, 0},
    {"TwentyNines", "99999999999999999999", bad, 0},
    {"BomAlone", kBom, bad, 0},
    {"BomNotAtStart", " " + kBom + "10", bad, 0},
    {"BrokenBom", "\xEF\xBB" "10", bad, 0},
    {"Utf16WithBom", std::string("\xFF\xFE" "1\0" "0\0", 6), bad, 0},
    {"NulBeforeDigits", std::string("\0" "10", 3), bad, 0},
    {"FullWidthDigits", "\xEF\xBC\x91\xEF\xBC\x90", bad, 0},
};

INSTANTIATE_TEST_SUITE_P(Contents, ParseCount, testing::ValuesIn(kCountCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The stream reader leaves what follows the digits unread.
TEST(ReadCount, StopsRightAfterTheDigits) {
    std::FILE* fp = std::tmpfile();
    ASSERT_NE(fp, nullptr);
    std::fputs("  12;rest", fp);
    std::rewind(fp);
    const memsweep::ConfigRead read = memsweep::read_count(fp);
    EXPECT_EQ(read.status, ok);
    EXPECT_EQ(read.num, 12);
    EXPECT_EQ(std::getc(fp), 'r');
    std::fclose(fp);
}

struct WaitCase {
    std::int32_t num;
    std::uint32_t ms;
};

void PrintTo(const WaitCase& c, std::ostream* os) { *os << c.num; }

class WaitMs : public testing::TestWithParam<WaitCase> {};

TEST_P(WaitMs, IsTheCountTimes60000Modulo2To32) {
    EXPECT_EQ(memsweep::wait_ms(GetParam().num), GetParam().ms);
}

const WaitCase kWaitCases[] = {
    {0, 0u},
    {1, 60000u},
    {10, 600000u},
    {-1, 4294907296u},           // 2^32 - 60000, about 49.7 days
    {71582, 4294920000u},        // the last count that doesn't wrap
    {71583, 12704u},             // 4294980000 - 2^32
    {INT32_MAX, 4294907296u},    // (2^31 - 1) * 60000 mod 2^32
    {INT32_MIN, 0u},             // 2^31 * 60000 is a multiple of 2^32
    {-71583, 4294954592u},
};

INSTANTIATE_TEST_SUITE_P(Counts, WaitMs, testing::ValuesIn(kWaitCases));

}  // namespace
