// zelk's hex dump engine as a library: what the zelk command writes, laid
// out for any program into a sink of its own.
//
//     zelk::dumper d({.width = 8, .colour = false}, sink, context);
//     d.write(bytes);   // as often as bytes come, split anywhere
//     d.finish();       // the last short line, then everything to the sink
//
// A line shows the offset of its first byte, the bytes as hex pairs in
// groups, and a text block: printable ASCII as itself, 0x80-0xff as their
// Windows-1252 characters in UTF-8, the rest ".". Lines are cut from chunks
// of `chunk_size` bytes counted from the first byte, so a line never spans
// two chunks; a run of lines equal to the line before them shows as one
// line with "*". Coloured output selects each class's colour with an SGR
// escape ("\033[" colour "m") where the class changes, and ends every line
// with "\033[m".
//
// Nothing here throws (but dump_to_string, which allocates a string), exits,
// prints or keeps state outside a dumper: dumpers are independent of each
// other, and each may be used by one thread at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// What a shared libzelk exports: the names declared here, and none of the
// engine's own, which it builds hidden. The build of a shared library
// defines ZELK_SHARED_LIBRARY; a static one has nothing to hide.
#if defined(ZELK_SHARED_LIBRARY) && (defined(__GNUC__) || defined(__clang__))
#define ZELK_API __attribute__((visibility("default")))
#else
#define ZELK_API
#endif

namespace zelk {

// The colours of the byte classes, in this order: zero (0x00), low (the
// other control bytes), printable (0x20-0x7e), high (0x7f-0xfe), all
// (0xff). Each is the parameter text of an SGR escape, as in ZELK_COLORS;
// "" is a plain reset, the terminal's own colour.
inline constexpr std::array<std::string_view, 5> default_colours = {
    "38;5;238",  // zero: dark grey
    "38;5;150",  // low: pale green
    "",          // printable
    "38;5;141",  // high: violet
    "38;5;167",  // all: muted red
};

// Lines are cut from chunks of this many bytes, counted from the first byte:
// a line holds at most this many bytes, and a wider one is padded with blank
// columns.
inline constexpr std::uint64_t chunk_size = 1024;

// The widest line a dumper takes.
inline constexpr std::uint64_t max_width = 1048576;

struct options {
    std::uint64_t width = 16;      // bytes per line: 1 to max_width
    std::uint64_t group_size = 8;  // bytes per group of hex pairs; 0: no groups
    bool colour = true;            // false: no escapes at all
    // SGR parameter texts of the classes, in default_colours' order; copied
    // by the dumper, so they need not outlive its constructor.
    std::array<std::string_view, 5> colours = default_colours;
    // The offset shown for the first byte; chunks count from it.
    std::uint64_t first_offset = 0;
};

enum class errc {
    ok,
    invalid_width,  // options.width is 0 or above max_width: nothing is written
    out_of_memory,  // the dumper's memory could not be allocated
    sink_stopped,   // the sink returned false: it is not called again
};

struct result {
    errc error;
    std::uint64_t bytes;  // input taken so far, since the dump began
};

// Receives each stretch of output, in order, `size` bytes at `data`, valid
// only during the call; returns false to end the dump. `context` is the
// dumper's, as given to its constructor.
using sink = bool (*)(void* context, const char* data, std::size_t size);

namespace detail {
struct dump_state;
}

// One dump: takes bytes as they come and hands the lines to its sink. Output
// is buffered (128 KiB) and goes to the sink when the buffer is full, on
// flush() and on finish().
class ZELK_API dumper {
  public:
    // A dumper with `o`'s layout, writing to `to` with `context`. Its
    // status() tells whether it can dump: invalid_width or out_of_memory
    // make every call return that error and write nothing.
    dumper(const options& o, sink to, void* context) noexcept;
    // Calls no sink: output not yet handed on by flush() or finish() is
    // dropped, as is that of a dumper assigned to.
    ~dumper();
    dumper(dumper&& other) noexcept;
    dumper& operator=(dumper&& other) noexcept;
    dumper(const dumper&) = delete;
    dumper& operator=(const dumper&) = delete;

    // invalid_width, out_of_memory (also of a dumper moved from),
    // sink_stopped once the sink has stopped, or ok.
    errc status() const noexcept;

    // Dumps `bytes`, which follow the bytes written before. The output is
    // the same however the input is split: bytes short of a whole line or
    // chunk wait for the next write or for finish().
    result write(std::span<const std::byte> bytes) noexcept;

    // Lays out the bytes still waiting and hands all output to the sink.
    // The dumper then starts another dump, at options.first_offset, with no
    // line before it to repeat.
    result finish() noexcept;

    // Hands the output laid out so far to the sink; bytes still waiting for
    // the rest of their line stay.
    result flush() noexcept;

    // Ends the current dump as finish() does, but keeps the output buffered,
    // and starts another whose first byte is shown at `first_offset`.
    result next_dump(std::uint64_t first_offset) noexcept;

    // Puts `text` into the output as it is, after the lines laid out so far
    // (a file header between two dumps, say: bytes still waiting for the
    // rest of their line are not laid out first). Counts as no input.
    result write_text(std::string_view text) noexcept;

  private:
    detail::dump_state* state_;
    errc refusal_;  // why there is no state: invalid_width or out_of_memory
};

// The whole dump of `bytes` under `o`, as one string; empty where the
// options are refused. Throws std::bad_alloc where the string cannot grow.
ZELK_API std::string dump_to_string(std::span<const std::byte> bytes, const options& o = {});

// The kernel that lays out default lines on this CPU: "avx512", "ssse3",
// "neon" or "portable".
ZELK_API const char* kernel_name() noexcept;

}  // namespace zelk
