// File names as headers and messages show them: a name cannot send escape
// sequences to the terminal or break a line, however its bytes were chosen.
#pragma once

#include <cstddef>

// Writes the shown form of the `size` bytes at `name` to `out` and returns
// its length, which is never more than `size`; `out` may be `name` itself.
// Read left to right: printable ASCII (0x20 to 0x7E) shows as itself and the
// other ASCII bytes as '?'; a well-formed UTF-8 sequence (no overlong form,
// no surrogate, nothing above U+10FFFF) shows as itself, except that one
// for a C1 control (U+0080 to U+009F) shows as one '?'; a byte that begins
// no well-formed sequence shows as one '?', and showing goes on with the
// byte after it.
std::size_t shown_name(const char* name, std::size_t size, char* out);
