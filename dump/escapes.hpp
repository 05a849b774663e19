// The terminal escapes a dump writes: "\033[" PARAMETERS "m" selects a
// class colour, and with no parameters resets every attribute. Every escape
// of a dump's lines is assembled here (the command line's file headers have
// their own).
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace zelk::detail {

inline constexpr std::string_view escape_start = "\033[";
inline constexpr std::string_view escape_end = "m";

// Bytes of the escape with `parameters`.
constexpr std::size_t escape_size(std::string_view parameters) {
    return escape_start.size() + parameters.size() + escape_end.size();
}

// Hands the escape with `parameters` to put(std::string_view) in its parts,
// for escapes of any length, which may not fit one buffer.
template <class Put>
void put_escape(std::string_view parameters, Put put) {
    put(escape_start);
    put(parameters);
    put(escape_end);
}

// Writes the escape with `parameters` at `out` (escape_size bytes of room);
// returns its end.
inline char* write_escape(char* out, std::string_view parameters) {
    put_escape(parameters, [&out](std::string_view part) {
        std::memcpy(out, part.data(), part.size());
        out += part.size();
    });
    return out;
}

// The escape that resets every attribute.
inline constexpr std::string_view reset = "\033[m";
static_assert(reset.size() == escape_size("") && reset.starts_with(escape_start) &&
              reset.ends_with(escape_end));

// A coloured line ends with the reset, so that no colour runs on past it.
inline constexpr std::string_view coloured_line_end = "\033[m\n";
static_assert(coloured_line_end.starts_with(reset) && coloured_line_end.size() == reset.size() + 1);

// The end of every line: after the reset where coloured.
constexpr std::string_view line_end(bool colour) {
    return colour ? coloured_line_end : coloured_line_end.substr(reset.size());
}

// Writes the end of a coloured line at `p`; returns its end.
inline char* end_coloured_line(char* p) {
    std::memcpy(p, coloured_line_end.data(), coloured_line_end.size());
    return p + coloured_line_end.size();
}

}  // namespace zelk::detail
