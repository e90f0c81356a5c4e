#pragma once

#include <array>
#include <cstdint>

namespace memsweep {

// One pass hands the command interpreter these lines, in this order.
inline constexpr std::array<const char*, 5> kCommands = {
    "RAMMap -Ew",  // empty working sets
    "RAMMap -Es",  // empty the system working set
    "RAMMap -Em",  // empty the modified page list
    "RAMMap -Et",  // empty the standby list
    "RAMMap -E0",  // empty the priority-0 standby list
};

// One pass: each line in turn, each once the previous one has returned, then
// the wait. `run` and `sleep` are the platform's, or a test's stand-ins.
template <class Run, class Sleep>
void run_pass(std::uint32_t sleep_time, Run&& run, Sleep&& sleep) {
    for (const char* line : kCommands) run(line);
    sleep(sleep_time);
}

// Passes forever; the process is only ever ended from outside.
[[noreturn]] void run_cycle(std::uint32_t sleep_time);

}  // namespace memsweep
