#pragma once

// The few things the program needs from the system, one implementation per
// platform. Only these files and the shell presence touch system interfaces.

#include <cstdint>

namespace memsweep::platform {

// Blocks until one key is pressed, without echo and without waiting for
// Enter. Returns at once when there is no input left to read.
void wait_key();

// Blocks for the whole unsigned 32-bit count of milliseconds.
void sleep_ms(std::uint32_t ms);

// Hands one line to the command interpreter and waits for it to finish. The
// command's own status is of no interest.
void run_command(const char* line);

// Hides the program's console window and adds the notification-area icon
// whose tooltip names the interval. Its outcome is not examined.
void establish_presence(std::int32_t num);

}  // namespace memsweep::platform
