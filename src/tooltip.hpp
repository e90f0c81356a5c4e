#pragma once

#include <array>
#include <cstdint>

namespace memsweep {

// The tooltip that names the interval, as a NUL-terminated GBK string: 35
// bytes plus the count's sign and digits, so at most 46 of the 256.
std::array<char, 256> format_tooltip(std::int32_t num);

}  // namespace memsweep
