#include "dump/line_plan.hpp"

#include <algorithm>
#include <bit>
#include <memory>

#include "dump/escapes.hpp"
#include "dump/line_tables.hpp"

namespace zelk::detail {

namespace {

// Number of multiples of `group` in [from, to): the group spaces among the
// columns from `from` to `to`.
std::uint64_t group_starts(std::uint64_t from, std::uint64_t to, std::uint64_t group) {
    if (group == 0 || from >= to) return 0;
    auto starts_below = [group](std::uint64_t j) { return j / group + (j % group != 0); };
    return starts_below(to) - starts_below(from);
}

}  // namespace

line_gaps gaps_of(const dump_settings& s, std::uint64_t k) {
    const std::uint64_t blank = s.width - k;
    const std::uint64_t blank_groups = group_starts(k, s.width, s.group_size);
    return {hex_column_size * blank + blank_groups + 1, blank + blank_groups};
}

namespace {

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
    const std::uint64_t group = plan.settings.group_size;
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
        t.hex_group_spaces += static_cast<std::size_t>(std::popcount(piece.hex_space_before));
        t.text_group_spaces += static_cast<std::size_t>(std::popcount(piece.text_space_before));
    }
    // The text block's first group space goes with the spaces between the
    // blocks.
    const line_gaps gaps = gaps_of(plan.settings, k);
    t.middle_spaces = gaps.after_hex + (group != 0);
    t.tail_spaces = gaps.after_text;
}

void plan_escapes(line_plan& plan) {
    kernel_tables& t = plan.tables;
    for (std::size_t slot = 0; slot < class_count; ++slot) {
        const std::string_view text = plan.colour_text[slot];
        if (!plan.settings.colour) continue;
        const std::size_t size = escape_size(text);
        t.longest_escape = std::max(t.longest_escape, size);
        if (size > short_escape_size) continue;
        write_escape(t.escape[slot].data(), text);
        t.escape_size[slot] = size;
    }
    t.short_escapes = t.longest_escape <= short_escape_size;
    t.escape_items = plan.settings.colour && t.longest_escape + max_glyph_size <= item_size;
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
        std::memcpy(hex.data() + size, hex_pairs[b].data(), hex_column_size);
        std::memcpy(text.data() + size, glyph.data(), glyph.size());
    }
    for (std::size_t slot = 0; slot < class_count; ++slot)
        t.escape_size_lanes[slot] = static_cast<unsigned char>(t.escape_size[slot]);
}

}  // namespace

void make_line_plan(line_plan& plan, const dump_settings& s, const class_texts& colours) {
    std::construct_at(&plan);
    plan.settings = s;
    plan.line_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(s.width, chunk_size));
    plan.colour_text = colours;
    plan_escapes(plan);
    plan_pieces(plan);
}

line_plan make_line_plan(const dump_settings& s, const class_texts& colours) {
    line_plan plan;
    make_line_plan(plan, s, colours);
    return plan;
}

}  // namespace zelk::detail
