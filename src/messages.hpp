#pragma once

// The program's two texts. They are GBK (code page 936) byte strings, written
// unconverted: they read as Chinese wherever the narrow code page is 936.

namespace memsweep {

// "无法打开配置文件！\n": the configuration file can't be opened.
inline constexpr char kOpenFailed[] =
    "\xCE\xDE\xB7\xA8\xB4\xF2\xBF\xAA\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xA3\xA1"
    "\n";

// "配置文件格式错误！\n": the configuration file's format is wrong.
inline constexpr char kBadFormat[] =
    "\xC5\xE4\xD6\xC3\xCE\xC4\xBC\xFE\xB8\xF1\xCA\xBD\xB4\xED\xCE\xF3\xA3\xA1"
    "\n";

// "rammap--自动清理虚拟内存(间隔:%d分钟)": automatic cleaning of virtual
// memory (interval: %d minutes). The parentheses and colon are ASCII.
inline constexpr char kTooltipFormat[] =
    "rammap--"
    "\xD7\xD4\xB6\xAF\xC7\xE5\xC0\xED\xD0\xE9\xC4\xE2\xC4\xDA\xB4\xE6"  // 自动清理虚拟内存
    "("
    "\xBC\xE4\xB8\xF4"  // 间隔
    ":%d"
    "\xB7\xD6\xD6\xD3"  // 分钟
    ")";

static_assert(sizeof kOpenFailed == 19 + 1);
static_assert(sizeof kBadFormat == 19 + 1);
static_assert(sizeof kTooltipFormat == 37 + 1);

}  // namespace memsweep
