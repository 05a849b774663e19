#include "dump/byte_class.hpp"

std::array<std::string_view, class_count> class_colours = {
    "38;5;238",  // zero: dark grey
    "38;5;150",  // low: pale green
    "",          // printable: a plain reset, the terminal's own colour
    "38;5;141",  // high: violet
    "38;5;167",  // all: muted red
};
