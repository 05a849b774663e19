#include "dump/line_layout.hpp"

#include <algorithm>
#include <cstring>

#include "dump/line_tables.hpp"
#include "dump/offset_field.hpp"
#include "dump/output.hpp"

namespace {

// Splices in an escape of any length where the class changes.
inline char* colour_step_long(char* p, const line_plan& plan, unsigned slot, unsigned& last) {
    if (slot == last) return p;
    last = slot;
    if (!plan.colour) return p;
    const std::string_view text = plan.colour_text[slot];
    std::memcpy(p, "\033[", 2);
    std::memcpy(p + 2, text.data(), text.size());
    p[2 + text.size()] = 'm';
    return p + 3 + text.size();
}

// Number of multiples of `group` in [from, to): the group spaces among blank
// columns.
std::uint64_t group_starts(std::uint64_t from, std::uint64_t to, std::uint64_t group) {
    if (group == 0 || from >= to) return 0;
    auto starts_below = [group](std::uint64_t j) { return j / group + (j % group != 0); };
    return starts_below(to) - starts_below(from);
}

// Calls column(p, j) for the k columns that hold bytes, with a space before
// every group; the space goes before the escape of the byte after it, so it
// takes the colour of the byte before it.
template <class Column>
inline char* grouped_columns(char* p, std::size_t k, std::uint64_t group, Column column) {
    if (group == 0 || group >= k) {
        if (group != 0) *p++ = ' ';
        for (std::size_t j = 0; j < k; ++j) p = column(p, j);
        return p;
    }
    const std::size_t g = static_cast<std::size_t>(group);
    for (std::size_t j = 0; j < k;) {
        *p++ = ' ';
        const std::size_t end = std::min(k, j + g);
        for (; j < end; ++j) p = column(p, j);
    }
    return p;
}

// How the generic path splices in escapes: not at all (plain), as
// fixed-size copies, or as copies of any length.
enum class escapes { none, short_copies, any_length };

template <escapes e>
inline char* escape_step(char* p, const line_plan& plan, unsigned slot, unsigned& last) {
    if constexpr (e == escapes::short_copies) return colour_step(p, plan.tables, slot, last);
    if constexpr (e == escapes::any_length) return colour_step_long(p, plan, slot, last);
    return p;
}

template <escapes e>
char* hex_columns(char* p, const line_plan& plan, const unsigned char* bytes, std::size_t k,
                  unsigned& last) {
    return grouped_columns(p, k, plan.group_size, [&](char* q, std::size_t j) {
        const unsigned char b = bytes[j];
        q = escape_step<e>(q, plan, slots[b], last);
        std::memcpy(q, hex_pairs[b].data(), 4);
        return q + 3;
    });
}

template <escapes e>
char* text_columns(char* p, const line_plan& plan, const unsigned char* bytes, std::size_t k,
                   unsigned& last) {
    return grouped_columns(p, k, plan.group_size, [&](char* q, std::size_t j) {
        const unsigned char b = bytes[j];
        q = escape_step<e>(q, plan, slots[b], last);
        std::memcpy(q, &glyphs[b], 4);
        return q + glyphs[b].size;
    });
}

// A line written item by item through output_write: for escapes too long to
// lay out the hex or text block of a line in one reserved stretch of the buffer.
void write_line_piecewise(const line_plan& plan, const unsigned char* bytes, std::size_t k,
                          std::uint64_t offset) {
    char field[max_offset_field];
    output_write(field, offset_field(field, offset));
    const std::uint64_t group = plan.group_size;
    const std::uint64_t blank_groups = group_starts(k, plan.width, group);
    unsigned last = no_slot;
    auto step = [&](unsigned char b) {
        const unsigned slot = slots[b];
        if (slot == last) return;
        last = slot;
        if (!plan.colour) return;
        output_write("\033[", 2);
        output_write(plan.colour_text[slot]);
        output_write("m", 1);
    };
    for (int block = 0; block < 2; ++block) {
        std::uint64_t in_group = 0;
        for (std::size_t j = 0; j < k; ++j) {
            if (group != 0) {
                if (in_group == 0) output_write(" ", 1);
                if (++in_group == group) in_group = 0;
            }
            step(bytes[j]);
            if (block == 0)
                output_write(hex_pairs[bytes[j]].data(), 3);
            else
                output_write(glyph_of(bytes[j]));
        }
        const std::uint64_t blank = plan.width - k;
        output_spaces(block == 0 ? 3 * blank + blank_groups + 1 : blank + blank_groups);
    }
    output_write(plan.colour ? "\033[m\n" : "\n");
}

}  // namespace

// Any width, group size and line length, table-driven. The hex block and the text block are each
// laid out in one reserved stretch of the buffer sized for its worst case; the blank columns of a
// wide line are written separately. Kept out of line: it is the rare path beside the kernels'
// loops, which stay small without it.
[[gnu::noinline]] void write_line_generic(const line_plan& plan, const unsigned char* bytes,
                                          std::size_t k, std::uint64_t offset) {
    const std::uint64_t group = plan.group_size;
    const std::size_t groups =
        group == 0 ? 0 : static_cast<std::size_t>(k / group + (k % group != 0));
    // A group space per group; per byte an escape and a pair or glyph; the
    // overrun of the last fixed-size store; the line end.
    const std::size_t worst = groups + k * (plan.tables.longest_escape + 3) + short_escape_size + 8;
    if (max_offset_field + worst + blanks_in_place > output_reserve_limit) {
        write_line_piecewise(plan, bytes, k, offset);
        return;
    }
    const std::uint64_t blank = plan.width - k;
    const std::uint64_t blank_groups = group_starts(k, plan.width, group);
    // Blank columns up to blanks_in_place are laid out within the reserve.
    auto pad = [](char* p, std::uint64_t count) {
        return output_blanks(p, count, blanks_in_place);
    };
    unsigned last = no_slot;

    char* p = output_reserve(max_offset_field + worst + blanks_in_place);
    p += offset_field(p, offset);
    const escapes e = !plan.colour                ? escapes::none
                      : plan.tables.short_escapes ? escapes::short_copies
                                                  : escapes::any_length;
    p = e == escapes::none           ? hex_columns<escapes::none>(p, plan, bytes, k, last)
        : e == escapes::short_copies ? hex_columns<escapes::short_copies>(p, plan, bytes, k, last)
                                     : hex_columns<escapes::any_length>(p, plan, bytes, k, last);
    p = pad(p, 3 * blank + blank_groups + 1);
    output_commit(p);

    p = output_reserve(worst + blanks_in_place);
    p = e == escapes::none           ? text_columns<escapes::none>(p, plan, bytes, k, last)
        : e == escapes::short_copies ? text_columns<escapes::short_copies>(p, plan, bytes, k, last)
                                     : text_columns<escapes::any_length>(p, plan, bytes, k, last);
    p = pad(p, blank + blank_groups);
    output_commit(p);
    output_write(plan.colour ? "\033[m\n" : "\n");
}

namespace {

// How two lines of the same size are compared: lines of up to 32 bytes as a
// few overlapping words, without a call.
enum class compare_by { bytes, words4, words8, words16 };

constexpr compare_by comparison_for(std::size_t k) {
    if (k < 4 || k > 32) return compare_by::bytes;
    if (k < 8) return compare_by::words4;
    return k <= 16 ? compare_by::words8 : compare_by::words16;
}

template <compare_by How>
inline bool same_bytes(const unsigned char* a, const unsigned char* b, std::size_t k) {
    auto word = [](const unsigned char* p, std::size_t at, std::size_t size) {
        std::uint64_t w = 0;
        std::memcpy(&w, p + at, size);
        return w;
    };
    auto differ = [&](std::size_t at, std::size_t size) {
        return word(a, at, size) ^ word(b, at, size);
    };
    if constexpr (How == compare_by::words4) return (differ(0, 4) | differ(k - 4, 4)) == 0;
    if constexpr (How == compare_by::words8) return (differ(0, 8) | differ(k - 8, 8)) == 0;
    if constexpr (How == compare_by::words16)
        return (differ(0, 8) | differ(8, 8) | differ(k - 16, 8) | differ(k - 8, 8)) == 0;
    return std::memcmp(a, b, k) == 0;
}

// Whether a line of `k` bytes repeats the last printed line, of `previous_size`
// bytes at `previous` (none when nullptr).
inline bool repeats(const unsigned char* previous, std::size_t previous_size,
                    const unsigned char* line, std::size_t k) {
    if (previous == nullptr || previous_size != k) return false;
    switch (comparison_for(k)) {
        case compare_by::words4:
            return same_bytes<compare_by::words4>(previous, line, k);
        case compare_by::words8:
            return same_bytes<compare_by::words8>(previous, line, k);
        case compare_by::words16:
            return same_bytes<compare_by::words16>(previous, line, k);
        default:
            return same_bytes<compare_by::bytes>(previous, line, k);
    }
}

// The end of a run of whole lines of `step` bytes that starts before `end`:
// the first line from `end` on that repeats the one before it, or the end
// of the last whole line of the chunk. The comparison is chosen once.
template <compare_by How>
inline std::size_t unlike_run(const unsigned char* chunk, std::size_t end, std::size_t size,
                              std::size_t step) {
    while (end + step <= size && !same_bytes<How>(chunk + end - step, chunk + end, step))
        end += step;
    return end;
}

// Group spaces before the columns of one piece, bit j for column `from` + j.
std::uint16_t group_bits(std::uint64_t from, std::size_t columns, std::uint64_t group) {
    std::uint16_t bits = 0;
    if (group == 0) return 0;
    for (std::size_t j = 0; j < columns; ++j)
        if ((from + j) % group == 0) bits = static_cast<std::uint16_t>(bits | (1u << j));
    return bits;
}

// The pieces of a whole line, and the spaces around its text block.
void plan_pieces(line_plan& plan) {
    kernel_tables& t = plan.tables;
    const std::size_t k = plan.line_bytes;
    const std::uint64_t group = plan.group_size;
    t.pieces = (k + piece_bytes - 1) / piece_bytes;
    for (std::size_t m = 0; m < t.pieces; ++m) {
        piece_layout& piece = t.piece[m];
        const std::size_t from = m * piece_bytes;
        piece.bytes = static_cast<std::uint8_t>(std::min(piece_bytes, k - from));
        piece.hex_space_before = group_bits(from, piece.bytes, group);
        piece.text_space_before = static_cast<std::uint16_t>(m == 0 ? piece.hex_space_before & ~1u
                                                                    : piece.hex_space_before);
        piece.hex_from.fill(space_lane);
        piece.hex_spaces.fill(' ');
        piece.text_from.fill(space_lane);
        piece.text_spaces.fill(' ');
        std::size_t h = 0, g = 0;
        for (std::size_t j = 0; j < piece.bytes; ++j) {
            if ((piece.hex_space_before >> j) & 1) ++h;
            if ((piece.text_space_before >> j) & 1) ++g;
            ++h;  // the pair's leading space
            for (std::size_t d = 0; d < 2; ++d) {
                piece.hex_from[h] = static_cast<unsigned char>(2 * j + d);
                piece.hex_spaces[h++] = 0;
            }
            piece.text_from[g] = static_cast<unsigned char>(j);
            piece.text_spaces[g++] = 0;
        }
        piece.text_space_lanes = 0;
        for (std::size_t j = 0; j < piece.bytes; ++j)
            piece.text_space_lanes |= std::uint64_t{(piece.text_space_before >> j) & 1u} << (4 * j);
        piece.text_lanes = piece.bytes == piece_bytes ? ~std::uint64_t{0}
                                                      : (std::uint64_t{1} << (4 * piece.bytes)) - 1;
        piece.hex_size = static_cast<std::uint8_t>(h);
        piece.text_size = static_cast<std::uint8_t>(g);
    }
    const std::uint64_t blank = plan.width - k;
    const std::uint64_t blank_groups = group_starts(k, plan.width, group);
    t.middle_spaces = 3 * blank + blank_groups + 1 + (group != 0);
    t.tail_spaces = blank + blank_groups;
}

void plan_escapes(line_plan& plan) {
    kernel_tables& t = plan.tables;
    for (std::size_t slot = 0; slot < class_count; ++slot) {
        const std::string_view text = plan.colour_text[slot];
        if (!plan.colour) continue;
        const std::size_t size = text.size() + 3;
        t.longest_escape = std::max(t.longest_escape, size);
        if (size > short_escape_size) continue;
        std::memcpy(t.escape[slot].data(), "\033[", 2);
        std::memcpy(t.escape[slot].data() + 2, text.data(), text.size());
        t.escape[slot][size - 1] = 'm';
        t.escape_size[slot] = size;
    }
    t.short_escapes = t.longest_escape <= short_escape_size;
    t.escape_items = plan.colour && t.longest_escape + max_glyph_size <= item_size;
    if (!t.escape_items) return;
    for (int b = 0; b < 256; ++b) {
        const std::size_t slot = slots[b];
        const std::size_t size = t.escape_size[slot];
        const std::string_view glyph = glyph_of(static_cast<unsigned char>(b));
        auto& hex = t.hex_items[b];
        auto& text = t.glyph_items[b];
        hex.fill(' ');
        text.fill(' ');
        std::memcpy(hex.data(), t.escape[slot].data(), size);
        std::memcpy(text.data(), t.escape[slot].data(), size);
        std::memcpy(hex.data() + size, hex_pairs[b].data(), 3);
        std::memcpy(text.data() + size, glyph.data(), glyph.size());
    }
    for (std::size_t slot = 0; slot < class_count; ++slot)
        t.escape_size_lanes[slot] = static_cast<unsigned char>(t.escape_size[slot]);
}

}  // namespace

void write_lines_generic(const line_plan& plan, const unsigned char* first, std::size_t count,
                         std::uint64_t offset) {
    for (std::size_t l = 0; l < count; ++l)
        write_line_generic(plan, first + l * plan.line_bytes, plan.line_bytes,
                           offset + l * plan.line_bytes);
}

line_plan make_line_plan(const dump_settings& s, const line_kernel* kernel) {
    line_plan plan;
    plan.width = s.width;
    plan.group_size = s.group_size;
    plan.colour = s.colour;
    plan.line_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(s.width, chunk_size));
    plan.default_layout =
        s.width == dump_settings{}.width && s.group_size == dump_settings{}.group_size;
    plan.colour_text = class_colours;
    plan_escapes(plan);
    plan_pieces(plan);
    for (const line_kernel* k : line_kernels()) {
        if (kernel != nullptr ? k != kernel : !k->cpu_has()) continue;
        plan.routine = k->routine_for(plan);
        if (plan.routine == nullptr) continue;
        plan.kernel = k;
        break;
    }
    if (plan.routine == nullptr) plan.routine = write_lines_generic;
    return plan;
}

namespace {

// write_lines with the comparison of whole lines chosen for their size.
template <compare_by How>
void cut_chunk(const line_plan& plan, repeat_state& r, const unsigned char* chunk, std::size_t size,
               std::uint64_t offset) {
    const std::size_t step = plan.line_bytes;
    // The line to compare with: the last printed one, or a line equal to it.
    const unsigned char* previous = r.no_previous ? nullptr : r.previous.data();
    std::size_t previous_size = r.previous_size;
    bool marked = r.marked;
    for (std::size_t i = 0; i < size;) {
        const std::size_t k = std::min(size - i, step);
        const unsigned char* line = chunk + i;
        if (repeats(previous, previous_size, line, k)) {
            if (!marked) output_write(marker_line);
            marked = true;
            // It and the whole lines after it that repeat it too.
            i += k;
            if (k == step)
                while (i + step <= size && same_bytes<How>(previous, chunk + i, step)) i += step;
            continue;
        }
        marked = false;
        previous_size = k;
        if (k < step) {
            write_line_generic(plan, line, k, offset + i);
            previous = line;
            i += k;
            continue;
        }
        // A run of whole lines, each unlike the one before it, goes to the
        // kernel at once.
        const std::size_t end = unlike_run<How>(chunk, i + step, size, step);
        plan.routine(plan, line, (end - i) / step, offset + i);
        previous = chunk + end - step;
        i = end;
    }
    if (previous != nullptr && previous != r.previous.data())
        std::memcpy(r.previous.data(), previous, previous_size);
    r.previous_size = previous_size;
    r.no_previous = previous == nullptr;
    r.marked = marked;
}

}  // namespace

void write_lines(const line_plan& plan, repeat_state& r, const unsigned char* chunk,
                 std::size_t size, std::uint64_t offset) {
    switch (comparison_for(plan.line_bytes)) {
        case compare_by::words4:
            return cut_chunk<compare_by::words4>(plan, r, chunk, size, offset);
        case compare_by::words8:
            return cut_chunk<compare_by::words8>(plan, r, chunk, size, offset);
        case compare_by::words16:
            return cut_chunk<compare_by::words16>(plan, r, chunk, size, offset);
        default:
            return cut_chunk<compare_by::bytes>(plan, r, chunk, size, offset);
    }
}
