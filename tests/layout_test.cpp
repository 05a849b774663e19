// Line layout and the dump loop, rendered into memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "dump/byte_class.hpp"
#include "dump/line_layout.hpp"
#include "tests/golden_bytes.hpp"
#include "tests/golden_lines.hpp"
#include "tests/in_memory.hpp"
#include "tests/reference_layout.hpp"

using namespace zelk::detail;

namespace {

// The lines of `bytes` (at most a chunk) at `offset`, laid out as a dump
// lays them out: whole lines by the kernel chosen for `s`.
std::string layout(const std::string& bytes, std::uint64_t offset, test_settings s) {
    const line_plan plan = make_line_plan(s);
    return lines_in_memory(bytes, offset, plan, choose_kernel(plan).routine);
}

std::string dump(const std::string& bytes, test_settings s) {
    return dump_in_memory(bytes, s);
}

const unsigned char* bytes_of(const std::string& s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

test_settings plain() {
    test_settings s;
    s.colour = false;
    return s;
}

test_settings plain(std::uint64_t width, std::uint64_t group) {
    test_settings s = plain();
    s.width = width;
    s.group_size = group;
    return s;
}

test_settings in_colour(std::uint64_t width, std::uint64_t group) {
    test_settings s;
    s.width = width;
    s.group_size = group;
    return s;
}

// Byte values 0 to 255 one a line: each line selects its byte's class
// colour once, for the hex pair and the glyph alike.
std::string every_byte_lines() {
    std::string lines;
    for (unsigned b = 0; b < 256; ++b) {
        char head[64];
        std::snprintf(head, sizeof head, "    0%03x \033[%sm %02x  ", b,
                      std::string(range_of(static_cast<unsigned char>(b)).colour).c_str(), b);
        lines += head;
        lines += golden_glyphs[b];
        lines += "\033[m\n";
    }
    return lines;
}

}  // namespace

TEST(Layout, HelloWorldPlain) {
    EXPECT_EQ(layout("Hello, world!\n", 0, plain()), hello_plain);
}

TEST(Layout, HelloWorldColour) {
    EXPECT_EQ(layout("Hello, world!\n", 0, test_settings{}), hello_colour);
}

TEST(Layout, OffsetField) {
    struct {
        std::uint64_t offset;
        const char* field;
    } const cases[] = {
        {0x0, "    0000"},
        {0x1f0, "    01f0"},
        {0x12345, "   12345"},
        {0xffffffff, "ffffffff"},
        {0x100000000, "100000000"},
        {0x123456789, "123456789"},
        {0x7fffffffffffffff, "7fffffffffffffff"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(layout("A", c.offset, plain(1, 0)), std::string(c.field) + " 41 A\n") << c.field;
}

TEST(Layout, GroupSpaces) {
    struct {
        const char* name;
        std::string bytes;
        test_settings s;
        std::string line;
    } const cases[] = {
        {"no groups", "Hi", plain(4, 0), "    0000 48 69" + std::string(7, ' ') + "Hi  \n"},
        {"group as wide as the line", "ABCD", plain(4, 4), "    0000  41 42 43 44  ABCD\n"},
        {"group wider than the line", "ABCD", plain(4, 100), "    0000  41 42 43 44  ABCD\n"},
        {"huge group from -g -1", "ABCD", plain(4, ~0ull), "    0000  41 42 43 44  ABCD\n"},
        // 5 blank columns, a group space, 8 blank columns, the separator and
        // the text block's first group space.
        {"groups among blank columns", "abc", plain(),
         "    0000  61 62 63" + std::string(15 + 1 + 24 + 1 + 1, ' ') + "abc" +
             std::string(14, ' ') + "\n"},
        // 6 blank columns holding the group spaces of columns 6 and 9.
        {"width 10 group 3, short line", "wxyz", plain(10, 3),
         "    0000  77 78 79  7a" + std::string(18 + 2 + 1 + 1, ' ') + "wxy z" +
             std::string(8, ' ') + "\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(layout(c.bytes, 0, c.s), c.line) << c.name;
}

TEST(Layout, EscapeOnlyWhereTheClassChanges) {
    // Two high bytes share an escape, 0xff has its own class, and the group
    // space before column 2 stays in the colour of the byte before it.
    test_settings s;
    s.width = 4;
    s.group_size = 2;
    EXPECT_EQ(layout(std::string("\x80\x81\xff\x00", 4), 0x10, s),
              "    0010 \033[38;5;141m 80 81 \033[38;5;167m ff\033[38;5;238m 00  "
              "\033[38;5;141m\xe2\x82\xac. \033[38;5;167m\xc3\xbf\033[38;5;238m.\033[m\n");
}

TEST(Layout, EqualTextsInTwoClassesStillSwitch) {
    const std::string line = [] {
        test_settings s;
        s.colours[static_cast<int>(byte_class::low)] = "";
        s.width = 2;
        s.group_size = 0;
        return layout("A\x01", 0, s);
    }();
    EXPECT_EQ(line, "    0000\033[m 41\033[m 01 \033[mA\033[m.\033[m\n");
}

TEST(DumpLoop, WholeDumpsOfSmallInputs) {
    std::string every_byte;
    for (int b = 0; b < 256; ++b) every_byte += static_cast<char>(b);
    const std::string zeros_line =
        "    0000  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  ........ ........\n";
    const std::string a(16, 'a'), b(16, 'b');
    struct {
        const char* name;
        std::string input;
        test_settings s;
        std::string expected;
    } const cases[] = {
        {"every byte value with its class escape and glyph", every_byte, in_colour(1, 8),
         every_byte_lines()},
        {"zeros then letters collapse", std::string(32, '\0') + std::string(16, 'A'), plain(),
         zeros_line +
             "       *\n"
             "    0020  41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  AAAAAAAA AAAAAAAA\n"},
        {"repeats end with the marker", std::string(64, '\0'), plain(), zeros_line + "       *\n"},
        {"the marker carries no escape even in colour", std::string(64, '\0'), test_settings{},
         "    0000 \033[38;5;238m 00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  "
         "........ ........\033[m\n"
         "       *\n"},
        {"only the last printed line is compared", a + a + b + a, plain(16, 0),
         "    0000 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 aaaaaaaaaaaaaaaa\n"
         "       *\n"
         "    0020 62 62 62 62 62 62 62 62 62 62 62 62 62 62 62 62 bbbbbbbbbbbbbbbb\n"
         "    0030 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 61 aaaaaaaaaaaaaaaa\n"},
        {"a short line is no repeat of a longer one", "aaaaa", plain(4, 0),
         "    0000 61 61 61 61 aaaa\n"
         "    0004 61          a   \n"},
        {"a whole line repeats", std::string(8, 'a'), plain(4, 0),
         "    0000 61 61 61 61 aaaa\n       *\n"},
        {"empty input writes nothing", "", test_settings{}, ""},
    };
    for (const auto& c : cases) EXPECT_EQ(dump(c.input, c.s), c.expected) << c.name;
}

// Lines of every size class that the repeat test compares its own way (up
// to 3 bytes, 4 to 7, 8 to 16, 17 to 32, and more): a line equal to the last
// printed one collapses, and one that differs from it in a single byte,
// whichever, is printed.
TEST(DumpLoop, OneDifferentByteAnywhereEndsARepeat) {
    for (std::uint64_t width :
         {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 20, 24, 31, 32, 33, 40, 64, 100, 200}) {
        const test_settings s = plain(width, 8);
        const std::size_t k = std::min<std::size_t>(width, chunk_size);
        std::string a;
        for (std::size_t j = 0; j < k; ++j) a += static_cast<char>('a' + j % 26);
        const std::string a_line = reference_line(bytes_of(a), k, 0, s);
        for (std::size_t at = 0; at < k; ++at) {
            std::string b = a;
            b[at] = static_cast<char>(b[at] ^ 0x20);
            const std::string expected = a_line + "       *\n" +
                                         reference_line(bytes_of(b), k, 2 * k, s) + "       *\n" +
                                         reference_line(bytes_of(a), k, 4 * k, s);
            ASSERT_EQ(dump(a + a + b + b + a, s), expected) << "width " << width << ", byte " << at;
        }
    }
}

// The same for the short lines at the end of a chunk, which are compared
// only with a short line of the same size: the end of the chunk before.
TEST(DumpLoop, OneDifferentByteAnywhereEndsARepeatOfAShortLine) {
    for (std::size_t tail : {1, 2, 3, 4, 5, 7, 8, 9, 16, 17, 24, 32, 33, 40}) {
        const test_settings s = plain(chunk_size - tail, 8);
        const std::string whole(chunk_size - tail, 'x');
        std::string a;
        for (std::size_t j = 0; j < tail; ++j) a += static_cast<char>('a' + j % 26);
        const std::string head = reference_line(bytes_of(whole), whole.size(), 0, s) +
                                 reference_line(bytes_of(a), tail, whole.size(), s);
        ASSERT_EQ(dump(whole + a + a, s), head + "       *\n") << "a short line of " << tail;
        for (std::size_t at = 0; at < tail; ++at) {
            std::string b = a;
            b[at] = static_cast<char>(b[at] ^ 0x20);
            ASSERT_EQ(dump(whole + a + b, s),
                      head + reference_line(bytes_of(b), tail, chunk_size, s))
                << "a short line of " << tail << ", byte " << at;
        }
    }
}
