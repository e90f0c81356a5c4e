// memsweep: runs the memory tool's five cleaning commands, then sleeps the
// interval from config.txt, forever.

#include <cstdio>

#include "config.hpp"
#include "cycle.hpp"
#include "messages.hpp"
#include "platform.hpp"

namespace {

// The one failure the program reports itself: a message, a key, status 1.
int refuse(const char* message) {
    std::fputs(message, stdout);
    std::fflush(stdout);
    memsweep::platform::wait_key();
    return 1;
}

}  // namespace

int main() {
    using namespace memsweep;

    std::FILE* fp = std::fopen("config.txt", "r");
    if (fp == nullptr) return refuse(kOpenFailed);
    const ConfigRead config = read_count(fp);
    std::fclose(fp);
    if (config.status == ConfigStatus::unreadable) return refuse(kOpenFailed);
    if (config.status == ConfigStatus::bad_format) return refuse(kBadFormat);

    const std::uint32_t sleep_time = wait_ms(config.num);
    platform::establish_presence(config.num);
    run_cycle(sleep_time);
}
