#include "dump/output.hpp"

#include <err.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// Output goes out in writes of 128 KiB: measured faster than writes of 16 or
// 64 KiB into a pipe (whose capacity is 64 KiB) as well as to a file.
static_assert(output_buffer_size == 128 * 1024);

char buffer[output_buffer_size];

// A pipe of the usual 64 KiB holds less than one buffer, so each write waits
// for the reader to empty it and the two take turns instead of working at
// once. With room for two buffers, one is laid out while the reader takes the
// other: measured, a dump then moves through a pipe about twice as fast.
// Where the pipe cannot grow, or output is no pipe, nothing changes.
// The first write can come between a failed read and its report, so errno is
// kept for that report whatever happens here.
void widen_pipe() {
#ifdef F_SETPIPE_SZ
    const int saved = errno;
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode)) {
        const int size = fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
        if (size >= 0 && static_cast<std::size_t>(size) < 2 * output_buffer_size)
            fcntl(STDOUT_FILENO, F_SETPIPE_SZ, static_cast<int>(2 * output_buffer_size));
    }
    errno = saved;
#endif
}

// Set once the first write has widened the pipe, if output is one.
bool pipe_widened = false;

void write_stdout(const char* data, std::size_t size) {
    if (!pipe_widened) {
        pipe_widened = true;
        widen_pipe();
    }
    while (size > 0) {
        ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR) continue;
        // A write that takes nothing leaves no error to report, and making
        // it again would take nothing for ever: the device has no room.
        if (n == 0) errno = ENOSPC;
        if (n <= 0) err(1, "stdout");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

output_sink sink = write_stdout;

}  // namespace

namespace output_detail {
char* pos = buffer;
char* end = buffer + output_buffer_size;

void write_slow(const char* data, std::size_t size) {
    while (size > 0) {
        std::size_t room = static_cast<std::size_t>(end - pos);
        if (room == 0) {
            output_flush();
            continue;
        }
        std::size_t n = size < room ? size : room;
        reach_to(pos + n);
        std::memcpy(pos, data, n);
        pos += n;
        reach_to(pos);
        data += n;
        size -= n;
    }
}

#ifdef ZELK_POISON
namespace {
// Nothing is poisoned before the first reservation or write.
char* reach = buffer + output_buffer_size;
}  // namespace

void reach_to(char* to) {
    if (to > reach)
        unpoison(reach, static_cast<std::size_t>(to - reach));
    else
        poison(to, static_cast<std::size_t>(reach - to));
    reach = to;
}

void commit_checked(char* filled_to) {
    if (filled_to < pos || filled_to > reach) {
        std::fputs("zelk: internal error: output committed outside its reservation\n", stderr);
        std::abort();
    }
    pos = filled_to;
    reach_to(pos);
}
#endif
}  // namespace output_detail

char* output_reserve_slow(std::size_t size) {
    using namespace output_detail;
    if (size > static_cast<std::size_t>(end - pos)) output_flush();
    if (size > static_cast<std::size_t>(end - pos)) {
        std::fputs("zelk: internal error: output reservation beyond its limit\n", stderr);
        std::abort();
    }
    reach_to(pos + size);
    return pos;
}

void set_output_sink(output_sink new_sink) {
    output_flush();
    sink = new_sink;
}

void output_flush() {
    using namespace output_detail;
    std::size_t size = static_cast<std::size_t>(pos - buffer);
    pos = buffer;
    if (size > 0) sink(buffer, size);
    reach_to(buffer);
}

void output_fatal(const char* format, const char* argument) {
    int saved = errno;
    output_flush();
    errno = saved;
    err(1, format, argument);
}

void output_spaces(std::uint64_t count) {
    static constexpr std::size_t at_once = 4096;
    while (count > 0) {
        const std::size_t n = count < at_once ? static_cast<std::size_t>(count) : at_once;
        char* p = output_reserve(n);
        std::memset(p, ' ', n);
        output_commit(p + n);
        count -= n;
    }
}
