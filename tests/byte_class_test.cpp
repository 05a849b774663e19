#include "dump/byte_class.hpp"

#include <gtest/gtest.h>

#include "tests/golden_bytes.hpp"

using namespace zelk::detail;

TEST(ByteClass, PartitionsAllByteValues) {
    for (const class_range& r : class_ranges)
        for (unsigned b = r.first; b <= r.last; ++b)
            EXPECT_EQ(class_of(static_cast<unsigned char>(b)), r.cls) << "byte " << b;
}

TEST(ByteClass, DefaultColoursBySlot) {
    auto colour_of = [](unsigned char b) {
        return zelk::default_colours[static_cast<std::size_t>(class_of(b))];
    };
    EXPECT_EQ(colour_of(0x00), "38;5;238");
    EXPECT_EQ(colour_of(0x0a), "38;5;150");
    EXPECT_EQ(colour_of(0x41), "");
    EXPECT_EQ(colour_of(0x7f), "38;5;141");
    EXPECT_EQ(colour_of(0x80), "38;5;141");
    EXPECT_EQ(colour_of(0xfe), "38;5;141");
    EXPECT_EQ(colour_of(0xff), "38;5;167");
}

TEST(Glyph, AsciiInThePosixLocale) {
    for (unsigned b = 0; b < 0x80; ++b)
        EXPECT_EQ(glyph_of(static_cast<unsigned char>(b)), golden_glyphs[b]) << "byte " << b;
}

TEST(Glyph, Windows1252InUtf8) {
    struct {
        unsigned char byte;
        const char* utf8;
    } const cases[] = {
        {0x80, "\xe2\x82\xac"},  // euro sign
        {0x85, "\xe2\x80\xa6"},  // ellipsis
        {0x8a, "\xc5\xa0"},      // S with caron
        {0x99, "\xe2\x84\xa2"},  // trade mark
        {0x9f, "\xc5\xb8"},      // Y with diaeresis
        {0xa9, "\xc2\xa9"},      // copyright
        {0xe9, "\xc3\xa9"},      // e acute
        {0xff, "\xc3\xbf"},      // y with diaeresis
        // No character, or an invisible one: a dot.
        {0x81, "."},
        {0x8d, "."},
        {0x8f, "."},
        {0x90, "."},
        {0x9d, "."},
        {0xa0, "."},
        {0xad, "."},
    };
    for (const auto& c : cases) EXPECT_EQ(glyph_of(c.byte), c.utf8) << "byte " << int(c.byte);
    for (unsigned b = 0x80; b < 0x100; ++b)
        EXPECT_EQ(glyph_of(static_cast<unsigned char>(b)), golden_glyphs[b]) << "byte " << b;
}

TEST(Glyph, EveryHighEntryIsOneCharacter) {
    int dots = 0;
    for (int b = 0x80; b < 0x100; ++b) {
        std::string_view g = glyph_of(static_cast<unsigned char>(b));
        if (g == ".") {
            ++dots;
            continue;
        }
        // One UTF-8 sequence: a lead byte whose length matches, then continuation bytes.
        auto lead = static_cast<unsigned char>(g[0]);
        std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
        ASSERT_EQ(g.size(), length) << "byte " << b;
        ASSERT_GE(length, 2u) << "byte " << b;
        for (std::size_t i = 1; i < g.size(); ++i)
            EXPECT_EQ(static_cast<unsigned char>(g[i]) & 0xc0, 0x80) << "byte " << b;
        // 0xa1..0xff are Latin-1: the code point equals the byte.
        if (b >= 0xa1) {
            EXPECT_EQ(((lead & 0x1f) << 6) | (static_cast<unsigned char>(g[1]) & 0x3f), b);
        }
    }
    EXPECT_EQ(dots, 7);
}
