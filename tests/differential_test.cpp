// The fast layout against the reference rendering on random inputs and
// settings: every width, group size, colour set-up, offset and range must give
// the same bytes, through each kernel of this build and the generic layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "dump/byte_class.hpp"
#include "dump/escapes.hpp"
#include "dump/generic_layout.hpp"
#include "dump/kernels/lines.hpp"
#include "dump/line_layout.hpp"
#include "dump/line_tables.hpp"
#include "dump/output.hpp"
#include "tests/in_memory.hpp"
#include "tests/reference_layout.hpp"

using namespace zelk::detail;

namespace {

// Where two renderings first differ, with some context, instead of two
// screenfuls of dump.
::testing::AssertionResult same_output(const std::string& got, const std::string& want) {
    if (got == want) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    const std::size_t from = at < 80 ? 0 : at - 80;
    return ::testing::AssertionFailure()
           << "first difference at byte " << at << " of " << got.size() << " (want " << want.size()
           << ")\n got: " << ::testing::PrintToString(got.substr(from, 160))
           << "\nwant: " << ::testing::PrintToString(want.substr(from, 160));
}

// Random colour texts for one case, set into its settings by apply(). Texts
// come from a small pool so that equal texts in two classes occur; the
// long ones leave the fixed-size escape copies and, on wide lines, any
// reserve; now and then one is longer than the output buffer.
class random_colours {
  public:
    explicit random_colours(std::mt19937_64& rng) {
        if (rng() % 2 == 0) return;  // keep the defaults
        for (auto& slot : texts_) slot = pool_[rng() % pool_.size()];
        if (rng() % 40 == 0) texts_[rng() % class_count] = huge_;
    }
    void apply(test_settings& s) const { s.colours = texts_; }

  private:
    std::vector<std::string> pool_ = {
        "",
        "1",
        "38;5;238",
        "38;5;150",
        "1;31",
        "38;5;238;1",
        "38;5;238;1;4",
        "38;2;255;128;0;48;2;0;0;64;1;4",
        std::string(300, '7'),
    };
    std::string huge_ = std::string(17000, '1');
    std::array<std::string_view, class_count> texts_ = zelk::default_colours;
};

// Bytes with what makes dumps differ: runs of equal lines (of the width and
// of other lengths), runs of one byte, text, random bytes and bytes at the
// edges of every class.
std::string random_input(std::mt19937_64& rng, std::size_t size, std::uint64_t width) {
    static const unsigned char edges[] = {0x00, 0x01, 0x0a, 0x1f, 0x20, 0x41, 0x7e, 0x7f,
                                          0x80, 0x81, 0xa0, 0xad, 0xe9, 0xfe, 0xff};
    std::string out;
    while (out.size() < size) {
        const std::size_t n = 1 + rng() % 600;
        switch (rng() % 6) {
            case 0:
                for (std::size_t i = 0; i < n; ++i) out += static_cast<char>(rng());
                break;
            case 1: {
                const std::size_t line = rng() % 3 == 0 ? 1 + rng() % 40 : width;
                std::string one;
                for (std::size_t i = 0; i < line && i < 4096; ++i)
                    one += static_cast<char>(edges[rng() % sizeof edges]);
                for (std::size_t i = 0; i < 1 + rng() % 8; ++i) out += one;
                break;
            }
            case 2:
                out += std::string(n, static_cast<char>(edges[rng() % sizeof edges]));
                break;
            case 3:
                for (std::size_t i = 0; i < n; ++i)
                    out += rng() % 30 == 0 ? '\n' : static_cast<char>(0x20 + rng() % 0x5f);
                break;
            default:
                for (std::size_t i = 0; i < n; ++i)
                    out += static_cast<char>(edges[rng() % sizeof edges]);
        }
    }
    out.resize(size);
    return out;
}

std::uint64_t random_width(std::mt19937_64& rng) {
    switch (rng() % 8) {
        case 0:
            return 16;
        case 1:
            return 1025 + rng() % 3000;
        case 2:
            return rng() % 20 == 0 ? zelk::max_width : 1 + rng() % 1024;
        default:
            return 1 + rng() % 40;
    }
}

std::uint64_t random_group(std::mt19937_64& rng, std::uint64_t width) {
    switch (rng() % 6) {
        case 0:
            return 8;
        case 1:
            return rng() % 2 == 0 ? ~std::uint64_t{0} : width + rng() % 3;
        default:
            return rng() % 21;
    }
}

}  // namespace

TEST(Differential, WholeDumpsMatchTheReference) {
    std::mt19937_64 rng(20240611);
    for (int round = 0; round < 400; ++round) {
        random_colours colours(rng);
        test_settings s;
        colours.apply(s);
        s.width = random_width(rng);
        s.group_size = random_group(rng, s.width);
        s.colour = rng() % 2 == 0;
        // Mostly a few chunks; now and then past a 64 KiB read block. Very
        // wide lines are mostly blank columns, so a few of them will do.
        std::size_t size = rng() % 10 == 0 ? 60000 + rng() % 80000 : rng() % 5000;
        if (s.width > 4096) size %= 2100;
        const std::string input = random_input(rng, size, s.width);
        if (rng() % 3 == 0) {
            s.range_start = static_cast<std::int64_t>(rng() % (size + 20));
            if (rng() % 2 == 0)
                s.range_end = s.range_start + static_cast<std::int64_t>(rng() % (size + 20));
        }
        SCOPED_TRACE(::testing::Message()
                     << "round " << round << ": width " << s.width << ", group " << s.group_size
                     << ", colour " << s.colour << ", size " << size << ", range " << s.range_start
                     << " to " << s.range_end);
        ASSERT_TRUE(same_output(dump_in_memory(input, s), reference_dump(input, s)));
    }
}

// Each kernel of the table on every layout it serves, from the common ones
// to widths that leave a short line at every chunk end, at offsets that
// cross the widening of the offset field and run up to its top.
// The kernel named by the test's parameter, each test skipped where this CPU
// lacks what the kernel needs.
class EachKernel : public ::testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        for (const line_kernel* k : line_kernels())
            if (k->name == GetParam()) kernel_ = k;
        ASSERT_NE(kernel_, nullptr) << "no kernel " << GetParam();
        if (!runs_on(*kernel_, usable_cpu_features()))
            GTEST_SKIP() << "this CPU lacks what the " << kernel_->name << " kernel needs";
    }
    const line_kernel* kernel_ = nullptr;
};

std::vector<std::string> kernel_names() {
    std::vector<std::string> names;
    for (const line_kernel* k : line_kernels()) names.emplace_back(k->name);
    return names;
}

TEST_P(EachKernel, MatchesTheReferenceOnEveryLayoutItServes) {
    const line_kernel& kernel = *kernel_;
    const std::uint64_t widths[] = {16, 8,  32, 24, 64, 48, 20,  7,   1,    2,    3,    4,
                                    5,  15, 17, 31, 33, 40, 100, 256, 1000, 1023, 1024, 2048};
    const std::uint64_t offsets[] = {0, 5, 0xfff0, 0xffffffff - 2000, 0x7fffffffffffefff};
    std::mt19937_64 rng(7);
    int served = 0;
    for (std::uint64_t width : widths) {
        for (std::uint64_t group : {0, 1, 2, 3, 4, 5, 8, 16, 1 << 20}) {
            for (bool colour : {false, true}) {
                random_colours colours(rng);
                test_settings s;
                colours.apply(s);
                s.width = width;
                s.group_size = group;
                s.colour = colour;
                const line_plan plan = make_line_plan(s);
                const kernel_choice chosen = choose_kernel(plan, &kernel);
                if (chosen.kernel != &kernel) continue;
                ++served;
                for (int round = 0; round < 3; ++round) {
                    const std::uint64_t offset =
                        round == 2 ? rng() >> (rng() % 64)
                                   : offsets[rng() % std::size(offsets)] + rng() % 64;
                    const std::string bytes = random_input(rng, rng() % 4000, width);
                    SCOPED_TRACE(::testing::Message()
                                 << "width " << width << ", group " << group << ", colour "
                                 << colour << ", offset " << offset << ", size " << bytes.size());
                    ASSERT_TRUE(same_output(lines_in_memory(bytes, offset, plan, chosen.routine),
                                            reference_lines(bytes, offset, s)));
                }
            }
        }
    }
    EXPECT_GT(served, 0) << "the " << kernel.name << " kernel serves no layout";
}

namespace {

// Lines whose class changes at every column: for each column, lines of one
// class with that column in another (so the text block's first column
// changes class against the hex block's last one where the column is the
// last or the first), then a line of printable bytes only, one that changes
// class at every column and one of a single class. Lines of a dump that
// spans chunks would shift against the chunks, so the lines come in groups
// that fit a chunk, one dump each.
std::vector<std::string> class_change_dumps(std::size_t line) {
    // Bytes of each class with glyphs of one, two and three bytes.
    static const std::vector<std::vector<unsigned char>> samples = {
        {0x00}, {0x01, 0x0a, 0x1f}, {0x41, 0x7e, 0x20}, {0x80, 0xe9, 0x7f, 0x81}, {0xff}};
    auto byte = [](std::size_t slot, std::size_t at) {
        return static_cast<char>(samples[slot][at % samples[slot].size()]);
    };
    std::vector<std::size_t> columns;
    for (std::size_t c = 0; c < line; ++c)
        if (line <= 48 || c < 18 || c % 31 == 0 || c + 18 > line) columns.push_back(c);
    std::vector<std::string> lines;
    for (std::size_t c : columns) {
        // Two of the twenty ordered pairs of classes per column, all of them
        // over ten columns.
        for (std::size_t n = 2 * c % 20; n < 2 * c % 20 + 2; ++n) {
            const std::size_t outer = n / 4, inner = (outer + 1 + n % 4) % class_count;
            std::string l;
            for (std::size_t j = 0; j < line; ++j) l += byte(j == c ? inner : outer, j + n);
            lines.push_back(l);
        }
    }
    std::string printable, every, single;
    for (std::size_t j = 0; j < line; ++j) {
        printable += byte(2, j);
        every += byte(j % class_count, j / class_count);
        single += byte(3, j);
    }
    lines.insert(lines.end(), {printable, every, single});
    std::vector<std::string> dumps;
    const std::size_t per_dump = std::max<std::size_t>(1, chunk_size / line);
    for (std::size_t l = 0; l < lines.size(); l += per_dump) {
        std::string bytes;
        for (std::size_t m = l; m < lines.size() && m < l + per_dump; ++m) bytes += lines[m];
        dumps.push_back(bytes);
    }
    return dumps;
}

}  // namespace

// Colour texts of every length across the kernels' limits: escapes laid out
// within a line's precomputed items, as fixed-size copies, and of any length.
// Every class gets its own text of the length, or one class does and the
// others keep their defaults.
TEST_P(EachKernel, MatchesTheReferenceWithColourTextsOfEveryLength) {
    const line_kernel& kernel = *kernel_;
    // The default layout, lines of up to 8 bytes (laid out two at a time),
    // of one piece, two pieces and more.
    const struct {
        std::uint64_t width, group;
    } layouts[] = {{16, 8}, {16, 4}, {1, 0},  {2, 1},  {3, 0},   {5, 2},  {7, 3},  {8, 4},  {8, 0},
                   {12, 5}, {15, 0}, {17, 8}, {24, 8}, {32, 16}, {33, 0}, {48, 8}, {100, 8}};
    int served = 0;
    for (const auto& layout : layouts) {
        const auto dumps = class_change_dumps(std::min<std::size_t>(layout.width, chunk_size));
        for (std::size_t length = 0; length <= 34; ++length) {
            for (bool one_class : {false, true}) {
                std::array<std::string, class_count> texts;
                test_settings s;
                for (std::size_t slot = 0; slot < class_count; ++slot) {
                    // Digits from 1 up, one per class, so that no two are equal.
                    if (one_class && slot != length % class_count) continue;
                    for (std::size_t i = 0; i < length; ++i)
                        texts[slot] += static_cast<char>('1' + (slot + i) % 9);
                    s.colours[slot] = texts[slot];
                }
                s.width = layout.width;
                s.group_size = layout.group;
                const line_plan plan = make_line_plan(s);
                const kernel_choice chosen = choose_kernel(plan, &kernel);
                if (chosen.kernel == &kernel) {
                    ++served;
                    std::uint64_t offset = 0xfff0;
                    for (const std::string& bytes : dumps) {
                        SCOPED_TRACE(::testing::Message()
                                     << "width " << s.width << ", group " << s.group_size
                                     << ", colour texts of " << length << " bytes"
                                     << (one_class ? " in one class" : "") << ", offset "
                                     << offset);
                        ASSERT_TRUE(
                            same_output(lines_in_memory(bytes, offset, plan, chosen.routine),
                                        reference_lines(bytes, offset, s)));
                        offset += bytes.size();
                    }
                }
            }
        }
    }
    EXPECT_GT(served, 0) << "the " << kernel.name << " kernel serves no layout";
}

namespace {

// Lines that fill the most of what a routine reserves: the widest glyphs,
// an escape at every column, colour texts at and just past the longest that
// each path copies as a fixed-size block, and offset fields of 16 digits.
enum class worst_bytes { wide_glyphs, class_every_column, zeros };

std::string worst_input(worst_bytes kind, std::size_t size) {
    std::vector<unsigned char> wide;  // bytes of the widest glyphs (0x80-0x9f mostly)
    for (int b = 0; b < 256; ++b)
        if (glyph_of(static_cast<unsigned char>(b)).size() == max_glyph_size)
            wide.push_back(static_cast<unsigned char>(b));
    // Between two wide glyphs, the widest glyph of another class (0xff, two
    // bytes), and in other stretches of 128 bytes a byte of each other class.
    static const unsigned char others[] = {0xff, 0x00, 0xff, 0x01, 0xff, 0x41};
    std::string out;
    for (std::size_t i = 0; i < size; ++i) {
        if (kind == worst_bytes::zeros)
            out += '\0';
        else if (kind == worst_bytes::wide_glyphs || i % 2 == 0)
            out += static_cast<char>(wide[i / 2 % wide.size()]);
        else
            out += static_cast<char>(others[i / 128 % std::size(others)]);
    }
    return out;
}

// Colour texts of `length` bytes, one for each class and no two equal, or
// for one class alone (the others keep theirs); 0 is plain output. With the
// path the texts must take, so that a change of the limits cannot leave the
// rows short of them: escape items, or fixed-size escape copies.
struct worst_colours {
    std::size_t length;
    bool items;
    bool short_escapes;
    int only_class = -1;
};

// Items hold an escape and the widest glyph; longer escapes are spliced in as
// fixed-size copies up to short_escape_size; longer still, of any length.
constexpr std::size_t item_text = item_size - max_glyph_size - escape_size("");
constexpr std::size_t short_text = short_escape_size - escape_size("");

const worst_colours worst_colour_rows[] = {
    {0, false, true},
    {item_text, true, true},
    {item_text + 1, false, true},
    {short_text, false, true},
    {short_text + 1, false, false},
    {130, false, false, static_cast<int>(byte_class::zero)},
};

const struct {
    std::uint64_t width, group;
} worst_layouts[] = {{16, 8}, {16, 1},   {8, 1},    {5, 0},   {24, 1},
                     {48, 8}, {1024, 1}, {1024, 8}, {1100, 0}};

const std::uint64_t worst_offsets[] = {0xfff0, std::uint64_t{1} << 60,
                                       0x7fffffffffffffff - 3 * chunk_size};

// The settings with the texts of a row of worst_colour_rows (kept in
// `texts`), plain where the row has no texts.
test_settings set_worst_colours(const worst_colours& row, std::uint64_t width, std::uint64_t group,
                                std::array<std::string, class_count>& texts) {
    test_settings s;
    for (std::size_t slot = 0; slot < class_count; ++slot) {
        if (row.only_class >= 0 && slot != static_cast<std::size_t>(row.only_class)) continue;
        texts[slot].clear();
        for (std::size_t i = 0; i < row.length; ++i)
            texts[slot] += static_cast<char>((row.only_class >= 0 ? 'a' : '1') + (slot + i) % 9);
        s.colours[slot] = texts[slot];
    }
    s.width = width;
    s.group_size = group;
    s.colour = row.length != 0;
    return s;
}

}  // namespace

// Each kernel, or the generic layout where the kernel does not serve the
// plan, on the worst-case lines.
TEST_P(EachKernel, MatchesTheReferenceOnWorstCaseLines) {
    const line_kernel& kernel = *kernel_;
    for (const auto& layout : worst_layouts) {
        for (const worst_colours& row : worst_colour_rows) {
            std::array<std::string, class_count> texts;
            const test_settings s = set_worst_colours(row, layout.width, layout.group, texts);
            const line_plan plan = make_line_plan(s);
            const lines_routine routine = choose_kernel(plan, &kernel).routine;
            for (worst_bytes kind :
                 {worst_bytes::wide_glyphs, worst_bytes::class_every_column, worst_bytes::zeros}) {
                const std::string bytes = worst_input(kind, 2 * chunk_size);
                for (std::uint64_t offset : worst_offsets) {
                    SCOPED_TRACE(::testing::Message()
                                 << "width " << s.width << ", group " << s.group_size
                                 << ", colour texts of " << row.length << " bytes"
                                 << (row.only_class >= 0 ? " in one class" : "") << ", bytes "
                                 << static_cast<int>(kind) << ", offset " << offset);
                    ASSERT_TRUE(same_output(lines_in_memory(bytes, offset, plan, routine),
                                            reference_lines(bytes, offset, s)));
                }
            }
        }
    }
}

// The same lines through the whole dump, its read buffer and the kernel it
// chooses.
TEST(Differential, WholeDumpsOfWorstCaseLinesMatchTheReference) {
    for (const auto& layout : worst_layouts) {
        for (const worst_colours& row : worst_colour_rows) {
            std::array<std::string, class_count> texts;
            test_settings s = set_worst_colours(row, layout.width, layout.group, texts);
            const line_plan plan = make_line_plan(s);
            EXPECT_EQ(plan.tables.escape_items, row.items) << "colour texts of " << row.length;
            EXPECT_EQ(plan.tables.short_escapes, row.short_escapes)
                << "colour texts of " << row.length;
            s.range_start = 3;
            for (worst_bytes kind : {worst_bytes::wide_glyphs, worst_bytes::class_every_column}) {
                const std::string input = worst_input(kind, 3 * chunk_size + 7);
                SCOPED_TRACE(::testing::Message()
                             << "width " << s.width << ", group " << s.group_size
                             << ", colour texts of " << row.length << " bytes, bytes "
                             << static_cast<int>(kind));
                ASSERT_TRUE(same_output(dump_in_memory(input, s), reference_dump(input, s)));
            }
        }
    }
}

namespace {

// The room each routine reserves for a line is the most that any line of
// its plans lays out in it, and the reach of the widest store past that:
// store_overrun for the kernels' routines, blanks_in_place for the generic
// layout's (the blank columns laid out in place by a store of that many
// bytes). The longest lines of a plan are built here from what makes lines
// long: the widest offset field, glyphs of the widest, an escape at every
// column of both blocks.

// Every class's escape `escape` bytes long (no two equal), or none (0).
const std::size_t room_escapes[] = {
    0,
    item_size - max_glyph_size,  // the longest in an item with the widest glyph
    short_escape_size,           // the longest copied as a fixed-size block
    short_escape_size + 1,       // copied whatever its length
    120,
};

// Lines of the default layout; of one piece, laid out two at a time and
// not, of odd and even widths; of several pieces; wider than a chunk, with
// the blanks between the blocks and after them in place or out of line.
const struct {
    std::uint64_t width, group;
} room_layouts[] = {{16, 8},   {16, 4},    {1, 0},    {5, 0},    {8, 1},   {7, 3},    {12, 5},
                    {24, 1},   {33, 0},    {48, 8},   {64, 4},   {100, 8}, {1023, 1}, {1024, 8},
                    {1030, 1}, {1040, 16}, {1050, 0}, {1100, 0}, {2048, 8}};

// A line of `k` bytes as long as any: plain, each byte with a glyph of the
// widest (0x80, the euro sign); coloured, the bytes alternate between the
// two classes with the widest glyphs (0x80, high, and 0xff, a class of its
// own, two bytes), so that each column changes class, and an odd line
// ends in a third class (0x00) so that its text block's first column
// changes class against its last too (but for a line of one byte).
std::string longest_line(std::size_t k, bool colour) {
    std::string line;
    for (std::size_t j = 0; j < k; ++j)
        line += static_cast<char>(!colour || j % 2 == 0 ? 0x80 : 0xff);
    if (colour && k % 2 == 1 && k > 1) line.back() = '\0';
    return line;
}

// Where the hex columns of a line whose offset field has max_offset_field
// digits end: after the 2k-th hex digit outside the escapes.
std::size_t hex_columns_end(const std::string& line, std::size_t k) {
    std::size_t digits = 0;
    for (std::size_t i = max_offset_field; i < line.size(); ++i) {
        if (line[i] == '\033') {
            i = line.find(escape_end, i);
            if (i == std::string::npos) break;
        } else if (std::string_view(hex_digits).find(line[i]) != std::string_view::npos &&
                   ++digits == 2 * k) {
            return i + 1;
        }
    }
    return std::string::npos;
}

// Blank columns that output_blanks writes out of line, beyond the room.
std::size_t out_of_line(std::uint64_t spaces) {
    return spaces > blanks_in_place ? static_cast<std::size_t>(spaces) : 0;
}

}  // namespace

// The longest lines of each plan, laid out alone (a run of one line, so
// that the room reserved is the routine's room for one line, and in a
// sanitizer build the buffer past it is poisoned): each store stays within
// the room, and the line fills it up to the reach of the widest store past
// it. A term missing from a room shows as a line that does not fit it, a
// term too many as one that falls short of it.
TEST_P(EachKernel, LongestLinesFillTheirRoom) {
    const line_kernel& kernel = *kernel_;
    const std::uint64_t offset = 0x7fffffffffff0000;  // a field of max_offset_field digits
    std::size_t default_longest[2] = {};              // plain, coloured
    for (const auto& layout : room_layouts) {
        for (std::size_t escape : room_escapes) {
            std::array<std::string, class_count> texts;
            test_settings s;
            for (std::size_t slot = 0; slot < class_count && escape != 0; ++slot) {
                for (std::size_t i = 0; i < escape - escape_size(""); ++i)
                    texts[slot] += static_cast<char>('1' + (slot + i) % 9);
                s.colours[slot] = texts[slot];
            }
            s.width = layout.width;
            s.group_size = layout.group;
            s.colour = escape != 0;
            const line_plan plan = make_line_plan(s);
            ASSERT_EQ(plan.tables.longest_escape, escape);
            const lines_routine routine = choose_kernel(plan, &kernel).routine;
            const std::size_t k = plan.line_bytes;
            const std::string bytes = longest_line(k, s.colour);
            const std::string line = lines_in_memory(bytes, offset, plan, routine);
            SCOPED_TRACE(::testing::Message() << "width " << s.width << ", group " << s.group_size
                                              << ", escapes of " << escape << " bytes");
            ASSERT_TRUE(same_output(line, reference_lines(bytes, offset, s)));
            // Each reservation: the bytes laid out in it, its room, and the
            // reach of the widest store past them. The rooms of the default
            // layout are one for all its plans, and only the plan with the
            // longest escapes fills them.
            struct fill {
                const char* part;
                std::size_t content, room, overrun;
                bool of_plan;
            };
            std::vector<fill> fills;
            if (routine == generic_lines) {
                // The offset field and the hex columns, then the text columns.
                const generic_rooms rooms = generic_line_rooms(plan, k);
                const line_gaps gaps = gaps_of(plan.settings, k);
                const std::size_t hex_end = hex_columns_end(line, k);
                ASSERT_NE(hex_end, std::string::npos);
                const std::size_t text_end = line.size() - line_end(s.colour).size() -
                                             static_cast<std::size_t>(gaps.after_text);
                fills.push_back(
                    {"generic layout, hex columns", hex_end, rooms.hex, blanks_in_place, true});
                fills.push_back({"generic layout, text columns",
                                 text_end - hex_end - static_cast<std::size_t>(gaps.after_hex),
                                 rooms.text, blanks_in_place, true});
            } else {
                // The whole line, but for blanks written out of line.
                const std::size_t content = line.size() - out_of_line(plan.tables.middle_spaces) -
                                            out_of_line(plan.tables.tail_spaces);
                if (!is_default_layout(plan.settings))
                    fills.push_back({"line_room", content, line_room(plan), store_overrun, true});
                else if (s.colour)
                    fills.push_back(
                        {"colour16_room", content, colour16_room, store_overrun, false});
                else
                    fills.push_back({"plain16_room", content, plain16_room, store_overrun, false});
            }
            for (const fill& f : fills) {
                EXPECT_LE(f.content + f.overrun, f.room)
                    << f.part << ": the longest line and the store past it do not fit its room";
                if (f.of_plan)
                    EXPECT_GE(f.content + f.overrun, f.room)
                        << f.part
                        << ": the longest line falls short of its room by more than the store past "
                           "it";
                else
                    default_longest[f.room == colour16_room] =
                        std::max(default_longest[f.room == colour16_room], f.content);
            }
        }
    }
    EXPECT_EQ(default_longest[0] + store_overrun, plain16_room)
        << "the longest plain default line and the store past it against plain16_room";
    EXPECT_EQ(default_longest[1] + store_overrun, colour16_room)
        << "the longest coloured default line and the store past it against colour16_room";
}

// widest_text_columns against every line of classes up to 7 bytes long:
// the most bytes that the text columns of any of them take, with every
// class's escape of one size.
TEST(Rooms, WidestTextColumnsIsTheLongestOfAnyLine) {
    std::array<std::size_t, class_count> widest{};
    for (int b = 0; b < 256; ++b) {
        const auto slot = static_cast<std::size_t>(class_of(static_cast<unsigned char>(b)));
        widest[slot] = std::max(widest[slot], glyph_of(static_cast<unsigned char>(b)).size());
    }
    for (std::size_t k = 1; k <= 7; ++k) {
        for (std::size_t escape :
             {std::size_t{0}, escape_size(""), std::size_t{13}, std::size_t{40}}) {
            std::size_t longest = 0;
            std::vector<std::size_t> classes(k, 0);
            for (bool more = true; more;) {
                std::size_t size = 0;
                for (std::size_t j = 0; j < k; ++j) {
                    // The first column against the line's last byte.
                    const std::size_t before = classes[j == 0 ? k - 1 : j - 1];
                    size += widest[classes[j]] + (escape != 0 && classes[j] != before ? escape : 0);
                }
                longest = std::max(longest, size);
                std::size_t j = 0;
                while (j < k && ++classes[j] == class_count) classes[j++] = 0;
                more = j < k;
            }
            EXPECT_EQ(widest_text_columns(k, escape), longest)
                << k << " bytes, escapes of " << escape;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Kernels, EachKernel, ::testing::ValuesIn(kernel_names()),
                         [](const auto& info) { return info.param; });
