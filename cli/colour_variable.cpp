#include "cli/colour_variable.hpp"

#include <err.h>

#include <cstring>
#include <string_view>

#include "dump/byte_class.hpp"

namespace {

// The property names, in byte_class order.
constexpr std::string_view class_names[class_count] = {"zero", "low", "printable", "high", "all"};

}  // namespace

std::unique_ptr<char, free_deleter> apply_colour_variable() {
    const char* value = std::getenv("ZELK_COLORS");
    if (value == nullptr) return nullptr;
    std::unique_ptr<char, free_deleter> copy(strdup(value));
    if (!copy) errx(1, "strdup");

    // Tokens are cut in place at single spaces only; tabs belong to tokens.
    char* p = copy.get();
    while (*p != '\0') {
        if (*p == ' ') {
            ++p;
            continue;
        }
        char* token = p;
        while (*p != '\0' && *p != ' ') ++p;
        if (*p == ' ') *p++ = '\0';

        char* equals = std::strchr(token, '=');
        if (equals == nullptr) {
            warnx("no '=' found in ZELK_COLORS property '%s'", token);
            continue;
        }
        *equals = '\0';
        const std::string_view name(token);
        std::size_t slot = 0;
        while (slot < class_count && class_names[slot] != name) ++slot;
        if (slot == class_count) {
            warnx("unknown ZELK_COLORS property '%s'", token);
            continue;
        }
        class_colours[slot] = std::string_view(equals + 1);
    }
    return copy;
}
