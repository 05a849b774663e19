// Dump lines that several test areas expect, written out once.
#pragma once

#include <string>

// "Hello, world!\n" at the default width and groups.
inline const std::string hello_plain =
    "    0000  48 65 6c 6c 6f 2c 20 77  6f 72 6c 64 21 0a        Hello, w orld!.  \n";
// The same in colour: the line starts in the printable class, whose colour
// is empty, and the newline is the one low byte.
inline const std::string hello_colour =
    "    0000 \033[m 48 65 6c 6c 6f 2c 20 77  6f 72 6c 64 21\033[38;5;150m 0a        "
    "\033[mHello, w orld!\033[38;5;150m.  \033[m\n";

// "AB" at the default width and groups: after the two bytes, 14 blank
// columns with the second group's space among them, the separator and the
// text block's group space; after "AB", 14 blank columns and a group space.
inline const std::string ab_plain =
    "    0000  41 42                                             AB               \n";
inline const std::string ab_colour =
    "    0000 \033[m 41 42                                             AB               \033[m\n";
