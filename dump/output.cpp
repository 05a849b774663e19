#include "dump/output.hpp"

#include <cstdio>
#include <cstdlib>

namespace zelk::detail {

// Output goes out in stretches of 128 KiB: measured faster than writes of 16
// or 64 KiB into a pipe (whose capacity is 64 KiB) as well as to a file.
static_assert(output_buffer_size == 128 * 1024);

void output_open(output& out, sink to, void* context) {
    out.pos = out.buffer;
    out.end = out.buffer + output_buffer_size;
    out.to = to;
    out.context = context;
    out.stopped = false;
#ifdef ZELK_POISON
    out.reach = out.end;
#endif
}

namespace output_detail {

void write_slow(output& out, const char* data, std::size_t size) {
    while (size > 0) {
        std::size_t room = static_cast<std::size_t>(out.end - out.pos);
        if (room == 0) {
            output_flush(out);
            continue;
        }
        std::size_t n = size < room ? size : room;
        reach_to(out, out.pos + n);
        std::memcpy(out.pos, data, n);
        out.pos += n;
        reach_to(out, out.pos);
        data += n;
        size -= n;
    }
}

#ifdef ZELK_POISON
void reach_to(output& out, char* to) {
    if (to > out.reach)
        unpoison(out.reach, static_cast<std::size_t>(to - out.reach));
    else
        poison(to, static_cast<std::size_t>(out.reach - to));
    out.reach = to;
}

void commit_checked(output& out, char* filled_to) {
    if (filled_to < out.pos || filled_to > out.reach) {
        std::fputs("zelk: internal error: output committed outside its reservation\n", stderr);
        std::abort();
    }
    out.pos = filled_to;
    reach_to(out, out.pos);
}
#endif
}  // namespace output_detail

char* output_reserve_slow(output& out, std::size_t size) {
    using namespace output_detail;
    if (size > static_cast<std::size_t>(out.end - out.pos)) output_flush(out);
    if (size > static_cast<std::size_t>(out.end - out.pos)) {
#ifdef ZELK_POISON
        std::fputs("zelk: internal error: output reservation beyond its limit\n", stderr);
        std::abort();
#else
        __builtin_trap();
#endif
    }
    reach_to(out, out.pos + size);
    return out.pos;
}

void output_flush(output& out) {
    using namespace output_detail;
    const std::size_t size = static_cast<std::size_t>(out.pos - out.buffer);
    out.pos = out.buffer;
    if (size > 0 && !out.stopped) out.stopped = !out.to(out.context, out.buffer, size);
    reach_to(out, out.buffer);
}

void output_spaces(output& out, std::uint64_t count) {
    static constexpr std::size_t at_once = 4096;
    while (count > 0) {
        const std::size_t n = count < at_once ? static_cast<std::size_t>(count) : at_once;
        char* p = output_reserve(out, n);
        std::memset(p, ' ', n);
        output_commit(out, p + n);
        count -= n;
    }
}

}  // namespace zelk::detail
