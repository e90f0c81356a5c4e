#include "tooltip.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

struct TooltipCase {
    std::int32_t num;
    const char* count_text;
};

void PrintTo(const TooltipCase& c, std::ostream* os) { *os << c.num; }

class Tooltip : public testing::TestWithParam<TooltipCase> {};

TEST_P(Tooltip, NamesTheCountBetweenColonAndMinutes) {
    const auto msg = memsweep::format_tooltip(GetParam().num);
    // "rammap--自动清理虚拟内存(间隔:" + count + "分钟)" in GBK.
    const std::string expected = std::string("rammap--\xD7\xD4\xB6\xAF\xC7\xE5\xC0\xED"
                                             "\xD0\xE9\xC4\xE2\xC4\xDA\xB4\xE6(\xBC\xE4\xB8\xF4:") +
                                 GetParam().count_text + "\xB7\xD6\xD6\xD3)";
    EXPECT_EQ(std::string(msg.data()), expected);
    EXPECT_LE(expected.size(), 46u);
}

const TooltipCase kTooltipCases[] = {
    {10, "10"}, {30, "30"}, {0, "0"}, {-5, "-5"},
    {INT32_MAX, "2147483647"}, {INT32_MIN, "-2147483648"},
};

INSTANTIATE_TEST_SUITE_P(Counts, Tooltip, testing::ValuesIn(kTooltipCases));

}  // namespace
