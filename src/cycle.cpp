#include "cycle.hpp"

#include "platform.hpp"

namespace memsweep {

void run_cycle(std::uint32_t sleep_time) {
    for (;;) run_pass(sleep_time, platform::run_command, platform::sleep_ms);
}

}  // namespace memsweep
