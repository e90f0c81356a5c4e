// Differential fuzz target: the count reader against a model built on
// strtol, which follows the same decimal conversion rules as "%d".

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config.hpp"

namespace {

struct Model {
    bool ok;
    long num;
};

Model model_count(const std::uint8_t* data, std::size_t size) {
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        data += 3;
        size -= 3;
    }
    // strtol stops at the first NUL, as "%d" does: NUL is neither a blank nor
    // a digit. Its white space in the C locale is " \t\n\v\f\r".
    const std::string text(reinterpret_cast<const char*>(data), size);
    const char* start = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long num = std::strtol(start, &end, 10);
    const bool took_digit = end != start && end[-1] >= '0' && end[-1] <= '9';
    if (!took_digit || errno == ERANGE || num < INT32_MIN || num > INT32_MAX) return {false, 0};
    return {true, num};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const memsweep::ConfigRead read =
        memsweep::parse_count(reinterpret_cast<const char*>(data), size);
    const Model want = model_count(data, size);
    if (want.ok) {
        if (read.status != memsweep::ConfigStatus::ok || read.num != want.num) std::abort();
    } else {
        if (read.status != memsweep::ConfigStatus::bad_format || read.num != 0) std::abort();
    }
    return 0;
}
