// The one buffered path to standard output. Every byte the program writes to
// standard output goes through here, so a failed write is noticed in one place:
// it ends the process with "stdout" and the system's error text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "dump/poison.hpp"

// Receives each stretch of buffered output. The default writes to file
// descriptor 1 and ends the process when that fails; tests and fuzzers render
// into memory instead.
using output_sink = void (*)(const char* data, std::size_t size);

void set_output_sink(output_sink sink);

// Hands everything buffered so far to the sink.
void output_flush();

// Fatal error after what was laid out so far has reached standard output:
// flushes, then reports like err(3), with the system's text for errno as it
// was at the call.
[[noreturn]] void output_fatal(const char* format, const char* argument);

// Size of the output buffer: output is handed to the sink when it is full.
inline constexpr std::size_t output_buffer_size = 128 * 1024;

namespace output_detail {
extern char* pos;
extern char* end;
void write_slow(const char* data, std::size_t size);
#ifdef ZELK_POISON
// Moves the end of what may be written, pos or the end of the reservation
// open at pos, to `to`. The buffer past it is poisoned: a store past the room
// that a routine reserved fails there, though the buffer goes on.
void reach_to(char* to);
// output_commit, which also aborts where `filled_to` lies outside the
// reservation.
void commit_checked(char* filled_to);
#else
inline void reach_to(char*) {}
#endif
}  // namespace output_detail

inline void output_write(const char* data, std::size_t size) {
    using namespace output_detail;
    if (size <= static_cast<std::size_t>(end - pos)) {
        reach_to(pos + size);
        std::memcpy(pos, data, size);
        pos += size;
        reach_to(pos);
    } else {
        write_slow(data, size);
    }
}

inline void output_write(std::string_view text) {
    output_write(text.data(), text.size());
}

// Writes `count` spaces.
void output_spaces(std::uint64_t count);

// Room for `size` bytes at the returned pointer; output_commit(p) then marks
// the buffer filled up to p. A reservation beyond the limit is a fault of the
// caller and aborts.
inline constexpr std::size_t output_reserve_limit = output_buffer_size;
char* output_reserve_slow(std::size_t size);
inline char* output_reserve(std::size_t size) {
    using namespace output_detail;
    if (size <= static_cast<std::size_t>(end - pos)) {
        reach_to(pos + size);
        return pos;
    }
    return output_reserve_slow(size);
}
inline void output_commit(char* filled_to) {
#ifdef ZELK_POISON
    output_detail::commit_checked(filled_to);
#else
    output_detail::pos = filled_to;
#endif
}

// Spaces up to this many are laid out within a reserve by output_blanks.
inline constexpr std::size_t blanks_in_place = 64;

// `count` spaces at p, within a reservation that leaves blanks_in_place
// bytes from p: in place when few, else through the output path, after
// which `room` bytes are reserved afresh; returns where the output goes on.
inline char* output_blanks(char* p, std::uint64_t count, std::size_t room) {
    if (count <= 2) {
        std::memcpy(p, "  ", 2);
        return p + count;
    }
    if (count <= blanks_in_place) {
        std::memset(p, ' ', blanks_in_place);
        return p + count;
    }
    output_commit(p);
    output_spaces(count);
    return output_reserve(room);
}
