// The key wait, the sleep and the command runs on Windows.

#include <conio.h>
#include <windows.h>

#include <cstdlib>

#include "platform.hpp"

namespace memsweep::platform {

void wait_key() {
    static_cast<void>(_getch());
}

void sleep_ms(std::uint32_t ms) {
    // A wait is a multiple of 60000 and so of 32: never INFINITE (0xFFFFFFFF).
    Sleep(ms);
}

void run_command(const char* line) {
    static_cast<void>(std::system(line));  // cmd.exe /c line
}

}  // namespace memsweep::platform
