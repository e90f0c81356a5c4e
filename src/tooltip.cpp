#include "tooltip.hpp"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "messages.hpp"

namespace memsweep {

// The count goes where the text has "%d". Not snprintf: with MinGW's
// libstdc++ that is MinGW's own printf, which alone is half of the exe.
std::array<char, 256> format_tooltip(std::int32_t num) {
    std::array<char, 256> msg{};
    const std::string_view format = kTooltipFormat;
    const std::size_t at = format.find("%d");
    char* out = std::copy_n(format.data(), at, msg.data());
    out = std::to_chars(out, msg.data() + msg.size(), num).ptr;
    std::copy(format.begin() + at + 2, format.end(), out);
    return msg;
}

}  // namespace memsweep
