#include "cli/dump_stream.hpp"

#include <err.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <span>

#include "dump/poison.hpp"

// A 32-bit off_t would cut seek offsets and refuse files of 2 GiB or more.
static_assert(sizeof(off_t) == 8,
              "zelk needs a 64-bit off_t: build with -D_FILE_OFFSET_BITS=64 on this target");

namespace {

// Reads are made in blocks of many chunks; small reads cost more than the
// layout of their bytes.
constexpr std::size_t read_block = 64 * zelk::chunk_size;

// The read buffer, static rather than on the stack: with stack-clash
// protection a 64 KiB frame is probed page by page at entry, which faults in
// every page of it at each start, even to dump three bytes. Here a read
// touches only the pages it fills.
unsigned char block[read_block];

// What one read_fully made of a request.
struct read_result {
    std::size_t count;  // bytes read: the whole request unless the input ended or a read failed
    int error;          // errno of the read that failed, or 0
};

// Reads into `block` until `size` bytes have come, the input ends or a read
// fails; a read interrupted by a signal is made again. A pipe or terminal
// hands over what it holds, so its reads come back short; filled up to the
// request, every chunk but the last is whole, and the dumper lays whole
// chunks out where they lie instead of copying them. Reading into the array
// itself, not through a pointer passed in, lets the checked read of a
// hardened build know the room left.
// What lies past the bytes read is poisoned until the next read, so that a
// routine reading past the end of its lines fails there.
read_result read_fully(int fd, std::size_t size) {
    zelk::detail::unpoison(block, size);
    std::size_t count = 0;
    int error = 0;
    while (count < size) {
        const ssize_t n = ::read(fd, block + count, size - count);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        if (n == 0) break;
        count += static_cast<std::size_t>(n);
    }
    zelk::detail::poison(block + count, read_block - count);
    return {count, error};
}

}  // namespace

void dump_fatal(zelk::dumper& d, const char* format, const char* argument) {
    const int saved = errno;
    d.finish();
    errno = saved;
    err(1, format, argument);
}

void dump_stream(zelk::dumper& d, std::FILE* stream, const char* name, const byte_range& range) {
    d.next_dump(static_cast<std::uint64_t>(range.start));

    // The input is read through its descriptor, from where fseeko leaves
    // it. Unbuffered, the stream reads nothing ahead when it seeks, so the
    // descriptor is left exactly at the offset asked for.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    const int fd = fileno(stream);
    bool ended = false;  // the input ended before the range did

    // Seek to the range start from the beginning of the input; what cannot
    // seek is skipped forward by reading.
    if (fseeko(stream, static_cast<off_t>(range.start), SEEK_SET) != 0) {
        std::uint64_t remaining = static_cast<std::uint64_t>(range.start);
        while (remaining != 0 && !ended) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining, read_block));
            const read_result r = read_fully(fd, want);
            if (r.error != 0) {
                errno = r.error;
                dump_fatal(d, "(while seeking) %s", name);
            }
            remaining -= r.count;
            ended = r.count < want;
        }
    }

    const bool bounded = range.end != -1;
    const std::uint64_t length =
        bounded ? static_cast<std::uint64_t>(range.end) - static_cast<std::uint64_t>(range.start)
                : 0;
    // On a terminal, lines show as each chunk arrives rather than once a
    // whole read block has filled.
    const bool interactive = isatty(STDOUT_FILENO);
    const std::size_t read_size = interactive ? zelk::chunk_size : read_block;
    std::uint64_t consumed = 0;

    while (!ended && !(bounded && consumed == length)) {
        std::size_t want = read_size;
        if (bounded)
            want = static_cast<std::size_t>(std::min<std::uint64_t>(length - consumed, read_size));
        // No byte lies at offset 2^63 - 1 or beyond, and a read that would
        // pass it fails rather than stopping short.
        const std::uint64_t below_limit =
            INT64_MAX - (static_cast<std::uint64_t>(range.start) + consumed);
        if (below_limit == 0) break;
        want = static_cast<std::size_t>(std::min<std::uint64_t>(want, below_limit));
        const read_result r = read_fully(fd, want);
        const std::size_t n = r.count;
        d.write(std::as_bytes(std::span(block, n)));
        consumed += n;
        if (interactive) d.flush();
        // What came before a failed read is dumped first.
        if (r.error != 0) {
            errno = r.error;
            dump_fatal(d, "(while reading) %s", name);
        }
        ended = n < want;
    }
    // The dump ends here: its last short line comes before whatever follows.
    d.next_dump(static_cast<std::uint64_t>(range.start));
    if (interactive) d.flush();
}
