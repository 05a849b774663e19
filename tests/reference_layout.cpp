#include "tests/reference_layout.hpp"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "dump/byte_class.hpp"
#include "dump/settings.hpp"
#include "tests/golden_bytes.hpp"

using namespace zelk::detail;

namespace {

// Lines are cut from chunks of this many bytes, counted from where the dump
// starts. Written here rather than taken from the engine, so that the
// reference does not follow the engine into a mistake; the engine's value
// must be the same.
constexpr std::size_t reference_chunk = 1024;
static_assert(reference_chunk == chunk_size);

template <class... Values>
void append_format(std::string& out, const char* format, Values... values) {
    char text[64];
    std::snprintf(text, sizeof text, format, values...);
    out += text;
}

}  // namespace

std::string reference_line(const unsigned char* bytes, std::size_t size, std::uint64_t offset,
                           const test_settings& s) {
    std::string out;
    append_format(out, "%5" PRIx64 "%03" PRIx64, offset >> 12, offset & 0xfff);
    // The class from the written-out ranges, not the engine's, so that a
    // class boundary that moved shows; its colour text from the settings.
    int last = -1;  // no class selected yet in this line
    auto colour_step = [&](unsigned char b) {
        const int slot = static_cast<int>(range_of(b).cls);
        if (slot != last && s.colour)
            out += "\033[" + std::string(s.colours[static_cast<std::size_t>(slot)]) + "m";
        last = slot;
    };
    for (int block = 0; block < 2; ++block) {
        for (std::uint64_t j = 0; j < s.width; ++j) {
            if (s.group_size != 0 && j % s.group_size == 0) out += ' ';
            if (j >= size) {
                out += block == 0 ? "   " : " ";
                continue;
            }
            colour_step(bytes[j]);
            if (block == 0)
                append_format(out, " %02x", static_cast<unsigned>(bytes[j]));
            else
                out += golden_glyphs[bytes[j]];
        }
        if (block == 0) out += ' ';
    }
    out += s.colour ? "\033[m\n" : "\n";
    return out;
}

std::string reference_lines(const std::string& bytes, std::uint64_t offset,
                            const test_settings& s) {
    std::string out;
    std::string previous;
    bool no_previous = true, marked = false;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t chunk = 0; chunk < bytes.size(); chunk += reference_chunk) {
        const std::size_t chunk_end = std::min(bytes.size(), chunk + reference_chunk);
        for (std::size_t i = chunk; i < chunk_end; i += s.width) {
            const std::size_t k = std::min<std::uint64_t>(chunk_end - i, s.width);
            const std::string line(bytes, i, k);
            if (!no_previous && line == previous) {
                if (!marked) out += "       *\n";
                marked = true;
                continue;
            }
            out += reference_line(data + i, k, offset + i, s);
            previous = line;
            no_previous = false;
            marked = false;
        }
    }
    return out;
}

std::string reference_dump(const std::string& input, const test_settings& s) {
    const std::uint64_t start = static_cast<std::uint64_t>(s.range_start);
    if (start >= input.size()) return "";
    std::uint64_t end = s.range_end == -1 ? input.size() : static_cast<std::uint64_t>(s.range_end);
    end = std::min<std::uint64_t>(end, input.size());
    return reference_lines(input.substr(start, end - start), start, s);
}
