// The dump format end to end: the real binary on small inputs, from a file
// and through a pipe.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dump/settings.hpp"
#include "tests/golden_lines.hpp"
#include "tests/reference_layout.hpp"
#include "tests/run_zelk.hpp"

namespace {

std::string bytes_mod(std::size_t size, unsigned modulus, unsigned base = 0) {
    std::string s;
    for (std::size_t i = 0; i < size; ++i) s += static_cast<char>(base + i % modulus);
    return s;
}

std::vector<std::string> lines_of(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t start = 0, nl;
    while ((nl = out.find('\n', start)) != std::string::npos) {
        lines.push_back(out.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

}  // namespace

TEST(Dump, HelloWorld) {
    const std::vector<expected_run> cases = {
        {"plain", {"-p"}, hello_plain, "", 0, {}, "Hello, world!\n", file_and_pipe},
        {"colour", {}, hello_colour, "", 0, {}, "Hello, world!\n", file_and_pipe},
    };
    for (const auto& c : cases) expect_run(c);
}

TEST(Dump, EmptyInputWritesNothing) {
    expect_run({"empty input", {}, "", "", 0, {}, "", file_and_pipe});
}

TEST(Dump, LinesNeverSpanChunks) {
    // Width 10 does not divide 1024: the last line of every chunk is short.
    zelk_run r = run_file_and_pipe({"-p", "-w", "10", "-g", "3"}, bytes_mod(0x410, 256));
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 103u + 2u);
    EXPECT_EQ(lines[101],
              "    03f2  f2 f3 f4  f5 f6 f7  f8 f9 fa  fb  \xc3\xb2\xc3\xb3\xc3\xb4 "
              "\xc3\xb5\xc3\xb6\xc3\xb7 \xc3\xb8\xc3\xb9\xc3\xba \xc3\xbb");
    EXPECT_EQ(lines[102], "    03fc  fc fd fe  ff" + std::string(18 + 2 + 1, ' ') +
                              " \xc3\xbc\xc3\xbd\xc3\xbe \xc3\xbf" + std::string(8, ' '));
    EXPECT_EQ(lines[103], "    0400  00 01 02  03 04 05  06 07 08  09  ... ... ... .");
    EXPECT_EQ(lines[104], "    040a  0a 0b 0c  0d 0e 0f" + std::string(12 + 2 + 1, ' ') +
                              " ... ..." + std::string(6, ' '));
}

TEST(Dump, RepeatsAcrossChunksAndShortLines) {
    // Repeats run on across chunks; a short line at a chunk end differs in
    // length from a full one, so it is printed, and so is the line after it.
    zelk_run r = run_file_and_pipe({"-p", "-w", "10", "-g", "0"}, std::string(2048, '\0'));
    const std::string ten = " 00 00 00 00 00 00 00 00 00 00 ..........\n";
    const std::string four =
        " 00 00 00 00" + std::string(18, ' ') + " ...." + std::string(6, ' ') + "\n";
    EXPECT_EQ(r.out, "    0000" + ten + "       *\n" + "    03fc" + four + "    0400" + ten +
                         "       *\n" + "    07fc" + four);

    zelk_run zeros = run_file_and_pipe({"-p"}, std::string(4096, '\0'));
    EXPECT_EQ(zeros.out,
              "    0000  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  ........ ........\n"
              "       *\n");
}

TEST(Dump, WidthAboveAChunk) {
    // Each line holds one whole chunk followed by blank columns.
    zelk_run r = run_file_and_pipe({"-p", "-w", "2048"}, bytes_mod(3000, 26, 'a'));
    std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u);
    const std::size_t groups = 2048 / 8;
    const std::size_t line_length = 8 + (groups + 2048 * 3) + 1 + (groups + 2048);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].size(), line_length) << i;
        EXPECT_EQ(lines[i].substr(0, 12),
                  std::vector<std::string>({"    0000  61", "    0400  6b", "    0800  75"})[i]);
    }
    const std::size_t text_start = 8 + groups + 2048 * 3 + 1;
    EXPECT_EQ(lines[1].substr(text_start, 10), " klmnopqr ");
    EXPECT_EQ(lines[2].find_last_not_of(' '), text_start + (952 / 8) * 9 - 1);
}

TEST(Dump, OffsetsWidenFromTwoToTheThirtyTwo) {
    temp_dir dir;
    const std::string path = dir.path + "/sparse";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, "0123456789abcdef", 16, 0x100000000), 16);
    close(fd);
    zelk_run r = run_zelk({"-p", "-r", "0xfffffff0+32", path});
    EXPECT_EQ(r.out,
              "fffffff0  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  ........ ........\n"
              "100000000  30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66  01234567 89abcdef\n");
    EXPECT_EQ(r.status, 0);
}

// Where lines are laid out four at a time, a batch is taken only while the
// offsets of all four fit the short field; from the batch that would cross
// 2^32 on, lines are laid out one by one. Batches count from each chunk's
// first line, and chunks 1024 bytes from the range start, so the start
// modulo 64 decides where the crossing batch begins: here each residue from
// 0 to 15 below 2^32, and starts 63 below 2^32 and 2^33, whose first batch
// is the one that crosses. Each run takes three chunks of lines that never
// repeat, from a sparse file. A loop that stops taking lines hangs the dump
// without a word: each run has a limit of processor time, and the test a
// TIMEOUT (tests/CMakeLists.txt).
TEST(Dump, LinesAcrossTheWideningOfTheOffsetField) {
    constexpr std::uint64_t four_gib = std::uint64_t{1} << 32, eight_gib = four_gib << 1;
    constexpr std::uint64_t around = 4096;  // distinct bytes each side of 2^32 and 2^33
    temp_dir dir;
    const std::string path = dir.path + "/sparse";
    const std::string distinct = distinct_bytes(2 * around);
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (std::uint64_t at : {four_gib - around, eight_gib - around})
        ASSERT_EQ(pwrite(fd, distinct.data(), distinct.size(), static_cast<off_t>(at)),
                  static_cast<ssize_t>(distinct.size()));
    close(fd);

    std::vector<std::uint64_t> starts;
    for (std::uint64_t k = 0; k < 16; ++k) starts.push_back(four_gib - 2048 + k);
    starts.push_back(four_gib - 63);
    starts.push_back(eight_gib - 63);
    constexpr std::size_t size = 3 * 1024;
    test_settings plain;
    plain.colour = false;
    for (std::uint64_t start : starts) {
        const std::uint64_t block =
            start < eight_gib - around ? four_gib - around : eight_gib - around;
        const std::string bytes = distinct.substr(start - block, size);
        zelk_call call;
        call.args = {"-p", "-r", std::to_string(start) + "+" + std::to_string(size), path};
        call.cpu_seconds = 5;
        const zelk_run r = run_zelk(call);
        const std::string expected = reference_lines(bytes, start, plain);
        EXPECT_TRUE(r.out == expected) << "start " << start << ": " << r.out.size() << " bytes, "
                                       << expected.size() << " expected";
        EXPECT_EQ(r.err, "") << "start " << start;
        EXPECT_EQ(r.status, 0) << "start " << start;
    }
}
