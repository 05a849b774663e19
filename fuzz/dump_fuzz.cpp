// Fuzz target for the dumper. The first bytes choose the settings, the rest
// is the input, read as the command line reads it, either from a file or
// through a pipe, which cannot seek; and handed to a zelk::dumper directly,
// in writes of sizes that the input's own bytes choose, which must give the
// same dump.
//
// Checked on every input: the plain dump decodes back to exactly the bytes
// of the range (a marker line standing for copies of the line before it);
// every offset is the position of its line's first byte; lines are cut from
// 1024-byte chunks counted from the range start; no printed line repeats the
// one printed before it; the text block shows each byte's glyph; and the
// coloured dump is the plain one with escapes added.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "cli/dump_stream.hpp"
#include "dump/byte_class.hpp"
#include "dump/settings.hpp"
#include "zelk/zelk.hpp"

using namespace zelk::detail;

namespace {

// Settings header: width, group size, flags, range start (2 bytes, little
// endian), range size (2 bytes).
constexpr std::size_t header_size = 7;
// What a pipe holds on Linux unless it is resized.
constexpr std::size_t pipe_capacity = 64 * 1024;

void check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "dump_fuzz: %s\n", what);
    std::abort();
}

// What one run dumps: the layout and the range.
struct fuzz_settings {
    std::uint64_t width;
    std::uint64_t group_size;
    bool colour;
    std::int64_t range_start;
    std::int64_t range_end;  // one past the last byte, -1 for the end of input

    zelk::options options() const {
        zelk::options o;
        o.width = width;
        o.group_size = group_size;
        o.colour = colour;
        o.first_offset = static_cast<std::uint64_t>(range_start);
        return o;
    }
};
fuzz_settings settings;

bool capture(void* context, const char* data, std::size_t size) {
    static_cast<std::string*>(context)->append(data, size);
    return true;
}

// Writes all `size` bytes in writes of at most `step` bytes.
bool write_all(int fd, const unsigned char* data, std::size_t size, std::size_t step) {
    while (size > 0) {
        const ssize_t n = write(fd, data, std::min(size, step));
        if (n <= 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// A file with no name, for an input that can seek: in memory where the
// system has memfd_create (Linux, FreeBSD 13 on), else a temporary file
// removed as soon as it is made. -1 where neither can be had.
int unnamed_file() {
#ifdef MFD_CLOEXEC
    return memfd_create("dump_fuzz", 0);
#else
    char path[] = "/tmp/dump_fuzz-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) unlink(path);
    return fd;
#endif
}

// The dumper reads a stream through its descriptor: the input is a file in
// memory, or a pipe filled `step` bytes at a time.
std::string dump(const unsigned char* input, std::size_t size, bool seekable, std::size_t step) {
    std::string captured;
    zelk::dumper d(settings.options(), capture, &captured);
    check(d.status() == zelk::errc::ok, "the dumper refused the settings");
    const byte_range range = {settings.range_start, settings.range_end};
    if (seekable) {
        const int fd = unnamed_file();
        check(fd >= 0, "cannot create the input file");
        std::FILE* stream = fdopen(fd, "r");
        check(stream != nullptr, "cannot create the input file");
        check(write_all(fileno(stream), input, size, SIZE_MAX), "cannot write the input file");
        dump_stream(d, stream, "fuzz", range);
        std::fclose(stream);
    } else {
        int fds[2];
        check(pipe(fds) == 0, "cannot make a pipe");
        // An input that the pipe holds is written before the dump begins;
        // a longer one is fed by a thread as the dump reads it.
        std::thread writer;
        if (size <= pipe_capacity) {
            check(write_all(fds[1], input, size, step), "cannot fill the pipe");
            close(fds[1]);
        } else {
            writer = std::thread([&] {
                write_all(fds[1], input, size, step);
                close(fds[1]);
            });
        }
        std::FILE* stream = fdopen(fds[0], "r");
        check(stream != nullptr, "cannot open the pipe");
        dump_stream(d, stream, "fuzz", range);
        // A range can end before the input does; the writer finishes anyway.
        char rest[4096];
        while (read(fds[0], rest, sizeof rest) > 0) {
        }
        std::fclose(stream);
        if (writer.joinable()) writer.join();
    }
    d.finish();
    return captured;
}

// The dump of `range` through the library: written in pieces whose sizes
// come from the bytes themselves (0 to 2047 each, a write of none among
// them), so that pieces end anywhere in a line and a chunk.
std::string dump_in_pieces(std::string_view range) {
    std::string captured;
    zelk::dumper d(settings.options(), capture, &captured);
    std::size_t at = 0;
    for (std::size_t i = 0; at < range.size(); ++i) {
        const auto b = static_cast<unsigned char>(range[(i * 7) % range.size()]);
        const std::size_t piece = std::min<std::size_t>(range.size() - at, (b * 8u + i) % 2048);
        const zelk::result r = d.write(std::as_bytes(std::span(range.data() + at, piece)));
        at += piece;
        check(r.error == zelk::errc::ok && r.bytes == at, "a write was not taken whole");
    }
    const zelk::result r = d.finish();
    check(r.error == zelk::errc::ok && r.bytes == range.size(), "finish did not take every byte");
    return captured;
}

// Removes every escape, ESC '[' up to and including the next 'm'.
std::string strip_escapes(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\033') {
            check(i + 1 < text.size() && text[i + 1] == '[', "ESC without '['");
            i = text.find('m', i);
            check(i != std::string::npos, "unterminated escape");
            continue;
        }
        plain += text[i];
    }
    return plain;
}

std::string offset_field(std::uint64_t offset) {
    char field[32];
    std::snprintf(field, sizeof field, "%5" PRIx64 "%03" PRIx64, offset >> 12, offset & 0xfff);
    return field;
}

struct decoder {
    const fuzz_settings& s;
    std::string_view expected;  // the bytes of the range that the input holds
    std::string decoded;
    std::string previous;  // bytes of the last printed line
    bool marker_pending = false;

    // Bytes of the line at range position `pos`.
    std::uint64_t line_size(std::uint64_t pos) const {
        check((pos % chunk_size) % s.width == 0, "line does not start at a line position");
        return std::min({s.width, chunk_size - pos % chunk_size, expected.size() - pos});
    }

    // Copies of the line before a marker, up to range position `to`.
    void expand_repeats(std::uint64_t to) {
        check(to > decoded.size(), "marker line stands for no line");
        while (decoded.size() < to) {
            check(decoded.size() < expected.size(), "repeats beyond the range");
            check(line_size(decoded.size()) == previous.size(), "repeat of another length");
            decoded += previous;
        }
        check(decoded.size() == to, "repeats overrun the next line");
        marker_pending = false;
    }

    void line(std::string_view text) {
        if (text == "       *") {
            check(!previous.empty() && !marker_pending, "marker line without a line to repeat");
            marker_pending = true;
            return;
        }
        // The offset field, then where the line must start.
        std::size_t digits = text.find_first_not_of(' ');
        check(digits != std::string_view::npos, "blank line");
        char* stop = nullptr;
        const std::string head(text.substr(digits, 20));
        const std::uint64_t offset = std::strtoull(head.c_str(), &stop, 16);
        const std::string field = offset_field(offset);
        check(text.substr(0, field.size()) == field, "malformed offset field");
        check(offset >= static_cast<std::uint64_t>(s.range_start), "offset before the range");
        const std::uint64_t pos = offset - static_cast<std::uint64_t>(s.range_start);
        if (marker_pending) expand_repeats(pos);
        check(pos == decoded.size(), "offset is not the position of the line's first byte");
        check(pos < expected.size(), "line beyond the range");
        const std::uint64_t k = line_size(pos);

        // Hex block, separator, text block, exactly.
        std::size_t at = field.size();
        auto expect = [&](std::string_view want, const char* what) {
            check(text.substr(at, want.size()) == want, what);
            at += want.size();
        };
        std::string bytes;
        for (std::uint64_t j = 0; j < s.width; ++j) {
            if (s.group_size != 0 && j % s.group_size == 0) expect(" ", "missing group space");
            if (j >= k) {
                expect("   ", "blank column expected");
                continue;
            }
            check(at + 3 <= text.size() && text[at] == ' ', "hex pair expected");
            const std::string pair(text.substr(at + 1, 2));
            check(std::strspn(pair.c_str(), "0123456789abcdef") == 2, "bad hex pair");
            bytes += static_cast<char>(std::strtoul(pair.c_str(), nullptr, 16));
            at += 3;
        }
        expect(" ", "missing block separator");
        for (std::uint64_t j = 0; j < s.width; ++j) {
            if (s.group_size != 0 && j % s.group_size == 0) expect(" ", "missing text group space");
            expect(j < k ? glyph_of(static_cast<unsigned char>(bytes[j])) : " ", "wrong glyph");
        }
        check(at == text.size(), "trailing text on the line");

        check(bytes != previous, "a repeat of the line before was printed");
        decoded += bytes;
        previous = bytes;
    }

    void finish() {
        if (marker_pending) expand_repeats(expected.size());
        check(decoded == expected, "the dump does not decode to the bytes of the range");
    }
};

void check_plain_dump(const std::string& out, std::string_view expected) {
    decoder d{settings, expected, {}, {}, false};
    check(out.empty() || out.back() == '\n', "output does not end with a newline");
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        d.line(std::string_view(out).substr(start, end - start));
        start = end + 1;
    }
    d.finish();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < header_size) return 0;

    const unsigned char* input = data + header_size;
    const std::size_t input_size = size - header_size;
    const unsigned flags = data[2];
    const std::uint64_t start = (data[3] | data[4] << 8) % (input_size + 2);
    const std::uint64_t range_size = data[5] | data[6] << 8;
    const bool bounded = flags & 4;

    settings.width = 1 + data[0] % 64;
    // Group sizes below, at and above the width, none, and the largest.
    settings.group_size = data[1] >= 0xf0 ? UINT64_MAX - (data[1] & 0xf) : data[1] % 72;
    settings.range_start = static_cast<std::int64_t>(start);
    settings.range_end = bounded ? static_cast<std::int64_t>(start + range_size) : -1;
    const bool seekable = flags & 2;
    const std::size_t step = (flags >> 3) == 0 ? SIZE_MAX : flags >> 3;

    std::string_view expected;
    if (start < input_size) {
        const std::size_t available = input_size - start;
        expected =
            std::string_view(reinterpret_cast<const char*>(input) + start,
                             bounded ? std::min<std::uint64_t>(range_size, available) : available);
    }

    settings.colour = false;
    const std::string plain = dump(input, input_size, seekable, step);
    check_plain_dump(plain, expected);
    check(dump_in_pieces(expected) == plain, "the dump in pieces differs from the stream's");

    if (flags & 1) {
        settings.colour = true;
        const std::string coloured = dump(input, input_size, seekable, step);
        check(strip_escapes(coloured) == plain, "colour output is not the plain one with escapes");
        check(dump_in_pieces(expected) == coloured, "the dump in pieces differs in colour");
    }
    return 0;
}
