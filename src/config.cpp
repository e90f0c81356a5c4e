#include "config.hpp"

namespace memsweep {

ConfigRead parse_count(const char* data, std::size_t size) {
    std::size_t at = 0;
    return parse_count([&]() -> int {
        return at < size ? static_cast<unsigned char>(data[at++]) : EOF;
    });
}

ConfigRead read_count(std::FILE* fp) {
    const ConfigRead read = parse_count([fp] { return std::getc(fp); });
    // An error is not the end of the file: a count cut short by one (or a
    // folder opened as a file, which POSIX allows) must not pass as a number.
    if (std::ferror(fp)) return {ConfigStatus::unreadable, 0};
    return read;
}

std::uint32_t wait_ms(std::int32_t num) {
    // The conversion to unsigned is modulo 2^32, and so is the product.
    return static_cast<std::uint32_t>(num) * 60000u;
}

}  // namespace memsweep
