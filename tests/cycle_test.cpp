#include "cycle.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Cycle, PassRunsTheFiveLinesInOrderThenSleepsOnce) {
    std::vector<std::string> events;
    memsweep::run_pass(
        4294907296u, [&](const char* line) { events.push_back(line); },
        [&](std::uint32_t ms) { events.push_back("sleep " + std::to_string(ms)); });

    const std::vector<std::string> expected = {
        "RAMMap -Ew", "RAMMap -Es", "RAMMap -Em", "RAMMap -Et", "RAMMap -E0",
        "sleep 4294907296",
    };
    EXPECT_EQ(events, expected);
}

}  // namespace
