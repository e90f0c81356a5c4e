// A terminal has no window to hide and no notification area: the presence is
// the tooltip text alone, formatted as on Windows and shown nowhere.

#include "platform.hpp"
#include "tooltip.hpp"

namespace memsweep::platform {

void establish_presence(std::int32_t num) {
    static_cast<void>(format_tooltip(num));
}

}  // namespace memsweep::platform
