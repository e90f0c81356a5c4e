#include "tooltip.hpp"

#include <cstdio>

#include "messages.hpp"

namespace memsweep {

std::array<char, 256> format_tooltip(std::int32_t num) {
    std::array<char, 256> msg{};
    std::snprintf(msg.data(), msg.size(), kTooltipFormat, static_cast<int>(num));
    return msg;
}

}  // namespace memsweep
