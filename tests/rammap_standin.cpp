// A Windows stand-in for the memory tool that misbehaves on request: it
// appends its arguments to calls.txt, then, as MEMSWEEP_TOOL_FAULT says,
// dies of an access violation ("crash") or writes 10 MiB to standard output
// ("flood").

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (std::FILE* log = std::fopen("calls.txt", "a")) {
        for (int i = 1; i < argc; ++i) std::fprintf(log, i > 1 ? " %s" : "%s", argv[i]);
        std::fputc('\n', log);
        std::fclose(log);
    }
    const char* fault = std::getenv("MEMSWEEP_TOOL_FAULT");
    if (fault == nullptr) return 0;
    if (std::strcmp(fault, "crash") == 0) {
        // Both volatile, or the compiler may drop the store.
        volatile int* volatile nowhere = nullptr;
        *nowhere = 1;
    }
    if (std::strcmp(fault, "flood") == 0) {
        static char block[64 * 1024];
        std::memset(block, 'x', sizeof block);
        for (int i = 0; i < 160; ++i) std::fwrite(block, 1, sizeof block, stdout);
    }
    return 0;
}
