#include "dump/dump_stream.hpp"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>

#include "dump/line_layout.hpp"
#include "dump/output.hpp"
#include "dump/poison.hpp"

dump_settings settings;

#ifdef ZELK_POISON
lines_routine dump_routine_override = nullptr;
#endif

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

// The plan of the current dump and the last line it printed, static for the
// stack's sake: some 26 KiB together, they would make this the deepest frame
// by far, and zelk would need a stack twice the size of the other dumpers'.
// Both are made afresh for every input, in storage that starts out as zeros
// (bss): as plain statics, their members' default values would put them in
// the program's data, 26 KiB read from the file at every start.
template <class T>
union unmade {
    constexpr unmade() {}
    T value;
};
unmade<line_plan> plan_storage;
unmade<repeat_state> repeats_storage;
line_plan& plan = plan_storage.value;
repeat_state& repeats = repeats_storage.value;

// What one read_fully made of a request.
struct read_result {
    std::size_t count;  // bytes read: the whole request unless the input ended or a read failed
    int error;          // errno of the read that failed, or 0
};

// Reads into `block` until `size` bytes have come, the input ends or a read
// fails; a read interrupted by a signal is made again. A pipe or terminal
// hands over what it holds, so its reads come back short; filled up to the
// request, every chunk but the last is whole, and the lines of an input are
// laid out the same however it arrives. Reading into the array itself, not
// through a pointer passed in, lets the checked read of a hardened build
// know the room left.
// What lies past the bytes read is poisoned until the next read, so that a
// routine reading past the end of its lines fails there.
read_result read_fully(int fd, std::size_t size) {
    unpoison(block, size);
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
    poison(block + count, read_block - count);
    return {count, error};
}

}  // namespace

void dump_stream(std::FILE* stream, const char* name) {
    const dump_settings& s = settings;

    // The input is read through its descriptor, from where fseeko leaves
    // it. Unbuffered, the stream reads nothing ahead when it seeks, so the
    // descriptor is left exactly at the offset asked for.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    const int fd = fileno(stream);
    bool ended = false;  // the input ended before the range did

    // Seek to the range start from the beginning of the input; what cannot
    // seek is skipped forward by reading.
    if (fseeko(stream, static_cast<off_t>(s.range_start), SEEK_SET) != 0) {
        std::uint64_t remaining = static_cast<std::uint64_t>(s.range_start);
        while (remaining != 0 && !ended) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining, read_block));
            const read_result r = read_fully(fd, want);
            if (r.error != 0) {
                errno = r.error;
                output_fatal("(while seeking) %s", name);
            }
            remaining -= r.count;
            ended = r.count < want;
        }
    }

    const bool bounded = s.range_end != -1;
    const std::uint64_t length = bounded ? static_cast<std::uint64_t>(s.range_end) -
                                               static_cast<std::uint64_t>(s.range_start)
                                         : 0;
    // On a terminal, lines show as each chunk arrives rather than once a
    // whole read block has filled.
    const bool interactive = isatty(STDOUT_FILENO);
    const std::size_t read_size = interactive ? chunk_size : read_block;

    make_line_plan(plan, s);
    lines_routine routine = choose_kernel(plan).routine;
#ifdef ZELK_POISON
    if (dump_routine_override != nullptr) routine = dump_routine_override;
#endif
    std::construct_at(&repeats);
    std::uint64_t consumed = 0;

    while (!ended && !(bounded && consumed == length)) {
        std::size_t want = read_size;
        if (bounded)
            want = static_cast<std::size_t>(std::min<std::uint64_t>(length - consumed, read_size));
        // No byte lies at offset 2^63 - 1 or beyond, and a read that would
        // pass it fails rather than stopping short.
        const std::uint64_t below_limit =
            INT64_MAX - (static_cast<std::uint64_t>(s.range_start) + consumed);
        if (below_limit == 0) break;
        want = static_cast<std::size_t>(std::min<std::uint64_t>(want, below_limit));
        const read_result r = read_fully(fd, want);
        const std::size_t n = r.count;
        const std::uint64_t at = static_cast<std::uint64_t>(s.range_start) + consumed;
        for (std::size_t c = 0; c < n; c += chunk_size)
            write_chunk(plan, routine, repeats, block + c, std::min(chunk_size, n - c), at + c);
        consumed += n;
        if (interactive) output_flush();
        // What came before a failed read is dumped first.
        if (r.error != 0) {
            errno = r.error;
            output_fatal("(while reading) %s", name);
        }
        ended = n < want;
    }
}
