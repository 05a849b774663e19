// The library's speed without the command line's output: reads FILE in
// blocks of 64 KiB, as zelk does, and dumps it through a zelk::dumper into a
// sink that drops the output. bench/run.sh times it beside zelk writing to
// /dev/null.
//
// Usage: library_sink [-p] FILE
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <span>

#include "zelk/zelk.hpp"

namespace {

bool discard(void*, const char*, std::size_t) {
    return true;
}

unsigned char block[64 * 1024];

}  // namespace

int main(int argc, char** argv) {
    zelk::options o;
    int arg = 1;
    if (arg < argc && std::strcmp(argv[arg], "-p") == 0) {
        o.colour = false;
        ++arg;
    }
    if (arg + 1 != argc) {
        std::fputs("usage: library_sink [-p] FILE\n", stderr);
        return 2;
    }
    const int fd = open(argv[arg], O_RDONLY);
    if (fd < 0) {
        std::perror(argv[arg]);
        return 1;
    }
    zelk::dumper d(o, discard, nullptr);
    for (;;) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n < 0) {
            std::perror(argv[arg]);
            return 1;
        }
        if (n == 0) break;
        if (d.write(std::as_bytes(std::span(block, static_cast<std::size_t>(n)))).error !=
            zelk::errc::ok)
            return 1;
    }
    return d.finish().error == zelk::errc::ok ? 0 : 1;
}
