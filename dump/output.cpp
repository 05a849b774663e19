#include "dump/output.hpp"

#include <err.h>
#include <errno.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

// Output goes out in blocks of 128 KiB: measured faster than blocks of 16 or
// 64 KiB into a pipe (whose capacity is 64 KiB) as well as to a file.
constexpr std::size_t block = 128 * 1024;

char buffer[block];

void write_stdout(const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            err(1, "stdout");
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

output_sink sink = write_stdout;

}  // namespace

namespace output_detail {
char* pos = buffer;
char* end = buffer + block;

void write_slow(const char* data, std::size_t size) {
    while (size > 0) {
        std::size_t room = static_cast<std::size_t>(end - pos);
        if (room == 0) {
            output_flush();
            continue;
        }
        std::size_t n = size < room ? size : room;
        std::memcpy(pos, data, n);
        pos += n;
        data += n;
        size -= n;
    }
}
}  // namespace output_detail

char* output_reserve_slow(std::size_t size) {
    using namespace output_detail;
    if (size > static_cast<std::size_t>(end - pos)) output_flush();
    if (size > static_cast<std::size_t>(end - pos)) std::abort();  // beyond output_reserve_limit
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
}

void output_fatal(bool with_errno, const char* format, const char* argument) {
    int saved = errno;
    output_flush();
    if (with_errno) {
        errno = saved;
        err(1, format, argument);
    }
    errx(1, format, argument);
}
