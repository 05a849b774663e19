// The output of one dump: a buffer that lines are laid out into, handed to
// the dump's sink when it is full and when the dump asks. A sink that
// refuses a stretch stops the output: what is laid out after is dropped,
// and the sink is not called again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "dump/poison.hpp"
#include "zelk/zelk.hpp"

namespace zelk::detail {

// Size of the output buffer: output is handed to the sink when it is full.
inline constexpr std::size_t output_buffer_size = 128 * 1024;

struct output {
    char* pos;  // where the next byte goes
    char* end;  // the end of the buffer
    sink to;
    void* context;
    bool stopped;  // the sink returned false
#ifdef ZELK_POISON
    // The end of what may be written, pos or the end of the reservation
    // open at pos: the buffer past it is poisoned, so that a store past the
    // room that a routine reserved fails there, though the buffer goes on.
    // Nothing is poisoned before the first reservation or write.
    char* reach;
#endif
    alignas(64) char buffer[output_buffer_size];
};

// Makes `out` empty, writing to `to` with `context`.
void output_open(output& out, sink to, void* context);

// Hands everything buffered so far to the sink, unless it has stopped.
void output_flush(output& out);

namespace output_detail {
void write_slow(output& out, const char* data, std::size_t size);
#ifdef ZELK_POISON
// Moves out.reach to `to`, poisoning the buffer past it.
void reach_to(output& out, char* to);
// output_commit, which also aborts where `filled_to` lies outside the
// reservation.
void commit_checked(output& out, char* filled_to);
#else
inline void reach_to(output&, char*) {}
#endif
}  // namespace output_detail

inline void output_write(output& out, const char* data, std::size_t size) {
    using namespace output_detail;
    if (size <= static_cast<std::size_t>(out.end - out.pos)) {
        reach_to(out, out.pos + size);
        std::memcpy(out.pos, data, size);
        out.pos += size;
        reach_to(out, out.pos);
    } else {
        write_slow(out, data, size);
    }
}

inline void output_write(output& out, std::string_view text) {
    output_write(out, text.data(), text.size());
}

// Writes `count` spaces.
void output_spaces(output& out, std::uint64_t count);

// Room for `size` bytes at the returned pointer; output_commit(out, p) then
// marks the buffer filled up to p. A reservation beyond the limit is a fault
// of the caller and traps.
inline constexpr std::size_t output_reserve_limit = output_buffer_size;
char* output_reserve_slow(output& out, std::size_t size);
inline char* output_reserve(output& out, std::size_t size) {
    using namespace output_detail;
    if (size <= static_cast<std::size_t>(out.end - out.pos)) {
        reach_to(out, out.pos + size);
        return out.pos;
    }
    return output_reserve_slow(out, size);
}
inline void output_commit(output& out, char* filled_to) {
#ifdef ZELK_POISON
    output_detail::commit_checked(out, filled_to);
#else
    out.pos = filled_to;
#endif
}

// Spaces up to this many are laid out within a reserve by output_blanks.
inline constexpr std::size_t blanks_in_place = 64;

// `count` spaces at p, within a reservation that leaves blanks_in_place
// bytes from p: in place when few, else through the output path, after
// which `room` bytes are reserved afresh; returns where the output goes on.
inline char* output_blanks(output& out, char* p, std::uint64_t count, std::size_t room) {
    if (count <= 2) {
        std::memcpy(p, "  ", 2);
        return p + count;
    }
    if (count <= blanks_in_place) {
        std::memset(p, ' ', blanks_in_place);
        return p + count;
    }
    output_commit(out, p);
    output_spaces(out, count);
    return output_reserve(out, room);
}

}  // namespace zelk::detail
