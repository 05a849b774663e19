#include "cli/range.hpp"

#include <err.h>

#include <cinttypes>
#include <cstring>

namespace {

// Digits by the POSIX locale, which the program never leaves.
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

range_result failure(const char* message) {
    return {{0, 0}, message};
}

}  // namespace

range_result check_range(const char* text) {
    const std::size_t delimiter = std::strcspn(text, "+-");
    if (text[delimiter] == '\0') return failure("no delimiter in range %s");

    // strtoimax with base 0: 0x is hexadecimal, a leading 0 octal; values
    // out of range saturate.
    std::int64_t start = 0;
    if (delimiter > 0) {
        char* stop = nullptr;
        if (!is_digit(text[0])) return failure("invalid start value in range %s");
        start = std::strtoimax(text, &stop, 0);
        if (stop != text + delimiter) return failure("invalid start value in range %s");
    }

    const char* after = text + delimiter + 1;
    const bool has_value = *after != '\0';
    std::int64_t value = -1;
    if (has_value) {
        char* stop = nullptr;
        if (!is_digit(*after)) return failure("invalid end/size value in range %s");
        value = std::strtoimax(after, &stop, 0);
        if (*stop != '\0') return failure("invalid end/size value in range %s");
    }

    std::int64_t end = value;
    if (text[delimiter] == '+') {
        if (delimiter == 0) return failure("start unspecified in range %s");
        if (!has_value) return failure("size unspecified in range %s");
        // Two's-complement sum without signed overflow: a sum that overflows
        // lands below the start and is refused below.
        end = static_cast<std::int64_t>(static_cast<std::uint64_t>(start) +
                                        static_cast<std::uint64_t>(value));
    }
    if (end != -1 && end < start) return failure("end was less than start in range %s");
    return {{start, end}, nullptr};
}

byte_range parse_range(const char* text) {
    range_result result = check_range(text);
    if (result.error != nullptr) errx(1, result.error, text);
    return result.range;
}
