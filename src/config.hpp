#pragma once

#include <cstdint>
#include <cstddef>
#include <cstdio>

namespace memsweep {

enum class ConfigStatus {
    ok,          // `num` holds the count
    unreadable,  // the stream could not be read to the end of the count
    bad_format,  // no integer at the start, or one outside the 32-bit range
};

struct ConfigRead {
    ConfigStatus status;
    std::int32_t num;  // 0 unless status is ok
};

// Reads the minute count by the rules of "%d": white space is skipped, then
// an optional sign and decimal digits are taken; whatever follows is ignored.
// A UTF-8 byte-order mark at the very start is skipped first, since Windows
// editors write one. `next` yields one byte (0..255) a call, or EOF.
// Reads no further than the first byte after the digits.
template <class NextByte>
ConfigRead parse_count(NextByte next) {
    constexpr ConfigRead refused{ConfigStatus::bad_format, 0};
    const auto is_space = [](int c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
    };

    int c = next();
    if (c == 0xEF) {
        if (next() != 0xBB || next() != 0xBF) return refused;
        c = next();
    }
    while (is_space(c)) c = next();

    const bool negative = c == '-';
    if (c == '-' || c == '+') c = next();
    if (c < '0' || c > '9') return refused;

    // Digits past the 32-bit range are refused as soon as they pass it, so
    // the running value stays small and the conversion below is exact.
    std::int64_t value = 0;
    for (; c >= '0' && c <= '9'; c = next()) {
        value = value * 10 + (c - '0');
        if (value > std::int64_t{INT32_MAX} + 1) return refused;
    }
    if (negative) value = -value;
    if (value > INT32_MAX) return refused;
    const auto num = static_cast<std::int32_t>(value);
    return {ConfigStatus::ok, num};
}

// The count at the start of a byte buffer, by the same rules.
ConfigRead parse_count(const char* data, std::size_t size);

// The count at the start of an open stream; a read error makes it unreadable.
ConfigRead read_count(std::FILE* fp);

// The wait between passes in milliseconds: num × 60000, wrapped modulo 2^32
// as 32-bit arithmetic wraps it (-1 waits 2^32 - 60000 ms, about 49.7 days).
std::uint32_t wait_ms(std::int32_t num);

}  // namespace memsweep
