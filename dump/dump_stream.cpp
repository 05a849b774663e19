#include "dump/dump_stream.hpp"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "dump/line_layout.hpp"
#include "dump/output.hpp"

dump_settings settings;

// A 32-bit off_t would cut seek offsets and refuse files of 2 GiB or more.
static_assert(sizeof(off_t) == 8,
              "zelk needs a 64-bit off_t: build with -D_FILE_OFFSET_BITS=64 on this target");

namespace {

// Reads are made in blocks of many chunks; small reads cost more than the
// layout of their bytes.
constexpr std::size_t read_block = 64 * chunk_size;

// The read buffer, static rather than on the stack: with stack-clash
// protection a 64 KiB frame is probed page by page at entry, which faults in
// every page of it at each start, even to dump three bytes. Here a read
// touches only the pages it fills.
unsigned char block[read_block];

}  // namespace

void dump_stream(std::FILE* stream, const char* name) {
    const dump_settings& s = settings;

    // Unbuffered, a read asks the system for exactly what is wanted; the
    // stream's own buffer would ask for whole blocks beyond it, and near the
    // largest offset such a read fails instead of stopping at the end.
    // Reads here are large anyway.
    std::setvbuf(stream, nullptr, _IONBF, 0);

    // Seek to the range start from the beginning of the input; what cannot
    // seek is skipped forward by reading.
    if (fseeko(stream, static_cast<off_t>(s.range_start), SEEK_SET) != 0) {
        clearerr(stream);
        std::uint64_t remaining = static_cast<std::uint64_t>(s.range_start);
        while (remaining != 0 && !std::feof(stream) && !std::ferror(stream)) {
            std::size_t n =
                std::fread(block, 1, std::min<std::uint64_t>(remaining, read_block), stream);
            if (n == 0) break;
            remaining -= n;
        }
        if (std::ferror(stream)) output_fatal("(while seeking) %s", name);
    }

    const bool bounded = s.range_end != -1;
    const std::uint64_t length = bounded ? static_cast<std::uint64_t>(s.range_end) -
                                               static_cast<std::uint64_t>(s.range_start)
                                         : 0;
    // On a terminal, lines show as each chunk arrives rather than once a
    // whole read block has filled.
    const bool interactive = isatty(STDOUT_FILENO);
    const std::size_t read_size = interactive ? chunk_size : read_block;

    const line_plan plan = make_line_plan(s);
    repeat_state repeats;
    std::uint64_t consumed = 0;

    while (!(bounded && consumed == length) && !std::feof(stream) && !std::ferror(stream)) {
        std::size_t want = read_size;
        if (bounded)
            want = static_cast<std::size_t>(std::min<std::uint64_t>(length - consumed, read_size));
        // No byte lies at offset 2^63 - 1 or beyond, and a read that would
        // pass it fails rather than stopping short.
        const std::uint64_t below_limit =
            INT64_MAX - (static_cast<std::uint64_t>(s.range_start) + consumed);
        if (below_limit == 0) break;
        want = static_cast<std::size_t>(std::min<std::uint64_t>(want, below_limit));
        const std::size_t n = std::fread(block, 1, want, stream);
        const std::uint64_t at = static_cast<std::uint64_t>(s.range_start) + consumed;
        for (std::size_t c = 0; c < n; c += chunk_size)
            write_lines(plan, repeats, block + c, std::min(chunk_size, n - c), at + c);
        consumed += n;
        if (interactive) output_flush();
    }

    if (std::ferror(stream)) output_fatal("(while reading) %s", name);
}
