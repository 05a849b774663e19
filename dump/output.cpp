#include "dump/output.hpp"

#include <err.h>
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

// A pipe moves 16 KiB blocks fastest (its capacity is 64 KiB and a writer
// that fills it waits for the reader); files and /dev/null prefer 128 KiB.
constexpr std::size_t pipe_block = 16 * 1024;
constexpr std::size_t file_block = 128 * 1024;

char buffer[file_block];
std::size_t block = 0;  // bytes of `buffer` in use; 0 until first chosen

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

std::size_t choose_block() {
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode)) return pipe_block;
    return file_block;
}

void start() {
    if (block == 0) block = (sink == write_stdout) ? choose_block() : file_block;
    output_detail::end = buffer + block;
}

}  // namespace

namespace output_detail {
// Start empty and full, so that the first write takes the slow path and
// picks the block size.
char* pos = buffer;
char* end = buffer;

void write_slow(const char* data, std::size_t size) {
    if (end == buffer) start();
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
    if (end == buffer) start();
    if (size > static_cast<std::size_t>(end - pos)) output_flush();
    if (size > static_cast<std::size_t>(end - pos)) std::abort();  // beyond output_reserve_limit
    return pos;
}

void set_output_sink(output_sink new_sink) {
    output_flush();
    sink = new_sink;
    block = 0;
    output_detail::pos = output_detail::end = buffer;
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
