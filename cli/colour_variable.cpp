#include "cli/colour_variable.hpp"

#include <err.h>

#include <cstring>
#include <string_view>

namespace {

// The property names, in the order of the classes.
constexpr class_colours class_names = {"zero", "low", "printable", "high", "all"};

}  // namespace

std::unique_ptr<char, free_deleter> apply_colour_variable(class_colours& colours) {
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
        while (slot < class_names.size() && class_names[slot] != name) ++slot;
        if (slot == class_names.size()) {
            warnx("unknown ZELK_COLORS property '%s'", token);
            continue;
        }
        colours[slot] = std::string_view(equals + 1);
    }
    return copy;
}
