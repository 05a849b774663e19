// The dump format rendered the plain, obvious way: one formatted item at a
// time into a string, straight from the rules of the format. The fast layout
// is checked against it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "dump/byte_class.hpp"
#include "dump/dump_stream.hpp"

// One line of `size` bytes at `offset`.
std::string reference_line(const unsigned char* bytes, std::size_t size, std::uint64_t offset,
                           const dump_settings& s);

// The lines of `bytes`, which start at `offset`: cut into 1024-byte chunks
// counted from their start, each chunk into lines, repeats collapsed.
std::string reference_lines(const std::string& bytes, std::uint64_t offset, const dump_settings& s);

// The whole dump of `input` as a file: its range, then reference_lines.
std::string reference_dump(const std::string& input, const dump_settings& s);

// The renderer, like zelk, takes the escapes of the current class_colours. A
// test that sets its own puts the colours back as they were when this was
// made, however it leaves the scope.
class colours_restored {
  public:
    ~colours_restored() { class_colours = saved_; }

  private:
    std::array<std::string_view, class_count> saved_ = class_colours;
};
