#include "dump/generic_layout.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dump/escapes.hpp"
#include "dump/line_tables.hpp"
#include "dump/offset_field.hpp"
#include "dump/output.hpp"

namespace zelk::detail {

namespace {

// Splices in an escape of any length where the class changes.
inline char* colour_step_long(char* p, const line_plan& plan, unsigned slot, unsigned& last) {
    if (slot == last) return p;
    last = slot;
    if (!plan.settings.colour) return p;
    return write_escape(p, plan.colour_text[slot]);
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
    return grouped_columns(p, k, plan.settings.group_size, [&](char* q, std::size_t j) {
        const unsigned char b = bytes[j];
        q = escape_step<e>(q, plan, slots[b], last);
        std::memcpy(q, hex_pairs[b].data(), 4);
        return q + hex_column_size;
    });
}

template <escapes e>
char* text_columns(char* p, const line_plan& plan, const unsigned char* bytes, std::size_t k,
                   unsigned& last) {
    return grouped_columns(p, k, plan.settings.group_size, [&](char* q, std::size_t j) {
        const unsigned char b = bytes[j];
        q = escape_step<e>(q, plan, slots[b], last);
        std::memcpy(q, &glyphs[b], 4);
        return q + glyphs[b].size;
    });
}

// One line written item by item through output_write: for escapes too long
// to lay out the hex or text block of a line in one reserved stretch of the
// buffer.
void generic_line_by_items(output& out, const line_plan& plan, const unsigned char* bytes,
                           std::size_t k, std::uint64_t offset) {
    char field[max_offset_field];
    output_write(out, field, offset_field(field, offset));
    const std::uint64_t group = plan.settings.group_size;
    const line_gaps gaps = gaps_of(plan.settings, k);
    unsigned last = no_slot;
    auto step = [&](unsigned char b) {
        const unsigned slot = slots[b];
        if (slot == last) return;
        last = slot;
        if (!plan.settings.colour) return;
        put_escape(plan.colour_text[slot],
                   [&out](std::string_view part) { output_write(out, part); });
    };
    for (int block = 0; block < 2; ++block) {
        std::uint64_t in_group = 0;
        for (std::size_t j = 0; j < k; ++j) {
            if (group != 0) {
                if (in_group == 0) output_write(out, " ", 1);
                if (++in_group == group) in_group = 0;
            }
            step(bytes[j]);
            if (block == 0)
                output_write(out, hex_pairs[bytes[j]].data(), hex_column_size);
            else
                output_write(out, glyph_of(bytes[j]));
        }
        output_spaces(out, block == 0 ? gaps.after_hex : gaps.after_text);
    }
    output_write(out, line_end(plan.settings.colour));
}

}  // namespace

generic_rooms generic_line_rooms(const line_plan& plan, std::size_t k) {
    const std::uint64_t group = plan.settings.group_size;
    const std::size_t groups =
        group == 0 ? 0 : static_cast<std::size_t>(k / group + (k % group != 0));
    const std::size_t escape = plan.tables.longest_escape;
    // The fixed-size copies of a column (an escape's, four bytes of a pair or
    // a glyph) reach past its end by less than the blanks' store.
    static_assert(short_escape_size <= blanks_in_place && hex_pairs[0].size() <= blanks_in_place);
    return {max_offset_field + groups + k * (escape + hex_column_size) + blanks_in_place,
            groups + widest_text_columns(k, escape) + blanks_in_place};
}

// The hex block and the text block are each laid out in one reserved
// stretch of the buffer sized for its worst case; the blank columns of a wide
// line are written separately. Kept out of line: it is the rare path beside
// the kernels' loops, which stay small without it.
[[gnu::noinline]] void generic_line(output& out, const line_plan& plan, const unsigned char* bytes,
                                    std::size_t k, std::uint64_t offset) {
    const generic_rooms rooms = generic_line_rooms(plan, k);
    if (rooms.hex > output_reserve_limit) {
        generic_line_by_items(out, plan, bytes, k, offset);
        return;
    }
    const line_gaps gaps = gaps_of(plan.settings, k);
    // Blank columns up to blanks_in_place are laid out within the reserve.
    auto pad = [&out](char* p, std::uint64_t count) {
        return output_blanks(out, p, count, blanks_in_place);
    };
    unsigned last = no_slot;

    char* p = output_reserve(out, rooms.hex);
    p += offset_field(p, offset);
    const escapes e = !plan.settings.colour       ? escapes::none
                      : plan.tables.short_escapes ? escapes::short_copies
                                                  : escapes::any_length;
    p = e == escapes::none           ? hex_columns<escapes::none>(p, plan, bytes, k, last)
        : e == escapes::short_copies ? hex_columns<escapes::short_copies>(p, plan, bytes, k, last)
                                     : hex_columns<escapes::any_length>(p, plan, bytes, k, last);
    p = pad(p, gaps.after_hex);
    output_commit(out, p);

    p = output_reserve(out, rooms.text);
    p = e == escapes::none           ? text_columns<escapes::none>(p, plan, bytes, k, last)
        : e == escapes::short_copies ? text_columns<escapes::short_copies>(p, plan, bytes, k, last)
                                     : text_columns<escapes::any_length>(p, plan, bytes, k, last);
    p = pad(p, gaps.after_text);
    output_commit(out, p);
    output_write(out, line_end(plan.settings.colour));
}

void generic_lines(output& out, const line_plan& plan, const unsigned char* first,
                   std::size_t count, std::uint64_t offset) {
    for (std::size_t l = 0; l < count; ++l)
        generic_line(out, plan, first + l * plan.line_bytes, plan.line_bytes,
                     offset + l * plan.line_bytes);
}

}  // namespace zelk::detail
