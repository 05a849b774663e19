// The one buffered path to standard output. Every byte the program writes to
// standard output goes through here, so a failed write is noticed in one place:
// it ends the process with "stdout" and the system's error text.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

// Receives each block of buffered output. The default writes to file
// descriptor 1 and ends the process when that fails; tests and fuzzers render
// into memory instead.
using output_sink = void (*)(const char* data, std::size_t size);

void set_output_sink(output_sink sink);

// Hands everything buffered so far to the sink.
void output_flush();

// Fatal error after what was laid out so far has reached standard output:
// flushes, then reports like err(3) (with_errno) or errx(3).
[[noreturn]] void output_fatal(bool with_errno, const char* format, const char* argument);

namespace output_detail {
extern char* pos;
extern char* end;
void write_slow(const char* data, std::size_t size);
}  // namespace output_detail

inline void output_write(const char* data, std::size_t size) {
    using namespace output_detail;
    if (size <= static_cast<std::size_t>(end - pos)) {
        std::memcpy(pos, data, size);
        pos += size;
    } else {
        write_slow(data, size);
    }
}

inline void output_write(std::string_view text) {
    output_write(text.data(), text.size());
}

// Room for `size` bytes (at most output_reserve_limit) at the returned
// pointer; output_commit(p) then marks the buffer filled up to p.
inline constexpr std::size_t output_reserve_limit = 16 * 1024;
char* output_reserve_slow(std::size_t size);
inline char* output_reserve(std::size_t size) {
    using namespace output_detail;
    if (size <= static_cast<std::size_t>(end - pos)) return pos;
    return output_reserve_slow(size);
}
inline void output_commit(char* filled_to) {
    output_detail::pos = filled_to;
}
