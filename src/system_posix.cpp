// The POSIX stand-in for the key wait, the sleep and the command runs, so
// that the same program builds, runs and is tested on Linux.

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>

#include "platform.hpp"

namespace memsweep::platform {
namespace {

void read_one_byte() {
    unsigned char key = 0;
    while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace

void wait_key() {
    termios saved{};
    if (tcgetattr(STDIN_FILENO, &saved) != 0) {  // not a terminal: one byte
        read_one_byte();
        return;
    }
    // Raw for one key. Ctrl-C arrives as a key, as it does on a Windows
    // console, so the terminal is always put back as it was.
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
    read_one_byte();
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
}

void sleep_ms(std::uint32_t ms) {
    timespec left{};
    left.tv_sec = static_cast<time_t>(ms / 1000u);
    left.tv_nsec = static_cast<long>(ms % 1000u) * 1000000L;
    // A signal that doesn't end the process doesn't shorten the wait either.
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &left, &left) == EINTR) {
    }
}

void run_command(const char* line) {
    const int status = std::system(line);
    // system() ignores SIGINT and SIGQUIT in the caller while the command
    // runs. The shell it starts shares our foreground group, so when a key
    // ended the shell with one of them, the key was meant for us too.
    if (status != -1 && WIFSIGNALED(status)) {
        const int sig = WTERMSIG(status);
        if (sig == SIGINT || sig == SIGQUIT) std::raise(sig);
    }
}

}  // namespace memsweep::platform
