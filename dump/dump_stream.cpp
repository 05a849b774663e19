#include "dump/dump_stream.hpp"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "dump/byte_class.hpp"
#include "dump/output.hpp"

dump_settings settings;

namespace {

// Lines are cut from chunks of this size, counted from the range start: a
// line never spans two chunks, whatever size the reads are.
constexpr std::size_t chunk_size = 1024;

// Reads are made in blocks of many chunks; small reads cost more than the
// layout of their bytes.
constexpr std::size_t read_block = 64 * chunk_size;

constexpr char hex_digits[] = "0123456789abcdef";

// " %02x" of every byte value.
constexpr std::array<std::array<char, 3>, 256> hex_pairs = [] {
    std::array<std::array<char, 3>, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = {' ', hex_digits[b >> 4], hex_digits[b & 15]};
    return t;
}();

// The offset field: the offset above its low 12 bits right-aligned in five
// columns, then the low 12 bits as three zero-filled digits. It widens past
// eight columns from 2^32 on.
std::size_t format_offset(std::uint64_t offset, char* out) {
    char high[16];
    std::size_t n = 0;
    std::uint64_t rest = offset >> 12;
    do {
        high[n++] = hex_digits[rest & 15];
        rest >>= 4;
    } while (rest != 0);
    std::size_t len = 0;
    for (std::size_t pad = n; pad < 5; ++pad) out[len++] = ' ';
    while (n > 0) out[len++] = high[--n];
    out[len++] = hex_digits[(offset >> 8) & 15];
    out[len++] = hex_digits[(offset >> 4) & 15];
    out[len++] = hex_digits[offset & 15];
    return len;
}

void write_spaces(std::uint64_t count) {
    static constexpr std::array<char, 64> spaces = [] {
        std::array<char, 64> t{};
        t.fill(' ');
        return t;
    }();
    while (count > 0) {
        std::size_t n = count < spaces.size() ? static_cast<std::size_t>(count) : spaces.size();
        output_write(spaces.data(), n);
        count -= n;
    }
}

// Number of multiples of `group` in [from, to): the group spaces among blank
// columns.
std::uint64_t group_starts(std::uint64_t from, std::uint64_t to, std::uint64_t group) {
    if (group == 0 || from >= to) return 0;
    auto starts_below = [group](std::uint64_t j) { return j / group + (j % group != 0); };
    return starts_below(to) - starts_below(from);
}

// Writes the escape of the byte's class when it differs from the class last
// selected in this line; classes are compared, not their texts.
inline void colour_step(unsigned char b, int& last, bool colour) {
    int slot = static_cast<int>(class_of(b));
    if (slot == last) return;
    last = slot;
    if (!colour) return;
    output_write("\033[", 2);
    output_write(class_colours[static_cast<std::size_t>(slot)]);
    output_write("m", 1);
}

}  // namespace

void layout_line(const unsigned char* bytes, std::size_t size, std::uint64_t offset,
                 const dump_settings& s) {
    char field[24];
    output_write(field, format_offset(offset, field));

    const std::uint64_t group = s.group_size;
    const std::uint64_t blank_columns = s.width - size;
    const std::uint64_t blank_groups = group_starts(size, s.width, group);
    int last = -1;

    // Hex block. A group space goes before the escape of the byte after it,
    // so it takes the colour of the byte before it.
    std::uint64_t in_group = 0;
    for (std::size_t j = 0; j < size; ++j) {
        if (group != 0) {
            if (in_group == 0) output_write(" ", 1);
            if (++in_group == group) in_group = 0;
        }
        colour_step(bytes[j], last, s.colour);
        output_write(hex_pairs[bytes[j]].data(), 3);
    }
    write_spaces(3 * blank_columns + blank_groups + 1);  // blank columns, then the block separator

    // Text block; `last` carries over from the hex block.
    in_group = 0;
    for (std::size_t j = 0; j < size; ++j) {
        if (group != 0) {
            if (in_group == 0) output_write(" ", 1);
            if (++in_group == group) in_group = 0;
        }
        colour_step(bytes[j], last, s.colour);
        output_write(glyph_of(bytes[j]));
    }
    write_spaces(blank_columns + blank_groups);

    if (s.colour)
        output_write("\033[m\n", 4);
    else
        output_write("\n", 1);
}

void dump_stream(std::FILE* stream, const char* name) {
    const dump_settings& s = settings;
    unsigned char block[read_block];

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
        if (std::ferror(stream)) output_fatal(true, "(while seeking) %s", name);
    }

    const bool bounded = s.range_end != -1;
    const std::uint64_t length = bounded ? static_cast<std::uint64_t>(s.range_end) -
                                               static_cast<std::uint64_t>(s.range_start)
                                         : 0;
    const bool interactive = isatty(STDOUT_FILENO);
    const std::uint64_t width = s.width;

    // The last printed line, for the repeat test. A line never holds more
    // than one chunk, so a chunk-sized buffer serves every width.
    unsigned char previous_line[chunk_size];
    std::size_t previous_size = 0;
    bool no_previous = true;
    bool marked = false;
    std::uint64_t consumed = 0;

    while (!(bounded && consumed == length) && !std::feof(stream) && !std::ferror(stream)) {
        std::size_t want = read_block;
        if (bounded)
            want = static_cast<std::size_t>(std::min<std::uint64_t>(length - consumed, read_block));
        // No byte lies at offset 2^63 - 1 or beyond, and a read that would
        // pass it fails rather than stopping short.
        const std::uint64_t below_limit =
            INT64_MAX - (static_cast<std::uint64_t>(s.range_start) + consumed);
        if (below_limit == 0) break;
        want = static_cast<std::size_t>(std::min<std::uint64_t>(want, below_limit));
        std::size_t n = std::fread(block, 1, want, stream);

        for (std::size_t c = 0; c < n; c += chunk_size) {
            const std::size_t in_chunk = std::min(chunk_size, n - c);
            for (std::size_t i = 0; i < in_chunk; i += width) {
                const unsigned char* line = block + c + i;
                const std::size_t k =
                    static_cast<std::size_t>(std::min<std::uint64_t>(in_chunk - i, width));
                if (!no_previous && k == previous_size &&
                    std::memcmp(line, previous_line, k) == 0) {
                    if (!marked) output_write("       *\n", 9);
                    marked = true;
                    continue;
                }
                layout_line(line, k, static_cast<std::uint64_t>(s.range_start) + consumed + c + i,
                            s);
                std::memcpy(previous_line, line, k);
                previous_size = k;
                no_previous = false;
                marked = false;
            }
        }
        consumed += n;
        if (interactive) output_flush();
    }

    if (std::ferror(stream)) output_fatal(true, "(while reading) %s", name);
}
