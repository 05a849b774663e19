#include "cli/range.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "tests/run_zelk.hpp"

namespace {

constexpr const char* no_delimiter = "no delimiter in range %s";
constexpr const char* bad_start = "invalid start value in range %s";
constexpr const char* bad_end = "invalid end/size value in range %s";
constexpr const char* no_start = "start unspecified in range %s";
constexpr const char* no_size = "size unspecified in range %s";
constexpr const char* end_below_start = "end was less than start in range %s";

constexpr std::int64_t int64_max = INT64_MAX;

}  // namespace

TEST(Range, GoodArguments) {
    struct {
        const char* text;
        std::int64_t start, end;
    } const cases[] = {
        {"0-16", 0, 16},
        {"0+16", 0, 16},
        {"0x10+0x20", 16, 48},
        {"0X10-0X11", 16, 17},
        {"-", 0, -1},
        {"-100", 0, 100},
        {"100-", 100, -1},
        {"010-020", 8, 16},
        {"5-5", 5, 5},
        {"7+0", 7, 7},
        // Values out of range saturate and are not reported.
        {"99999999999999999999-", int64_max, -1},
        {"0-99999999999999999999", 0, int64_max},
        {"1+0x7ffffffffffffffe", 1, int64_max},
    };
    for (const auto& c : cases) {
        range_result r = check_range(c.text);
        EXPECT_EQ(r.error, nullptr) << c.text;
        EXPECT_EQ(r.range.start, c.start) << c.text;
        EXPECT_EQ(r.range.end, c.end) << c.text;
    }
}

TEST(Range, BadArgumentsReportTheFirstFault) {
    struct {
        const char* text;
        const char* error;
    } const cases[] = {
        {"5", no_delimiter},
        {"abc", no_delimiter},
        {"", no_delimiter},
        {"+5", no_start},
        {"5+", no_size},
        {"+", no_start},
        {"+x", bad_end},  // the value is checked before the missing start
        {"10-5", end_below_start},
        {"1-2x", bad_end},
        {"1--2", bad_end},
        {"1-+2", bad_end},
        {"09-10", bad_start},  // a leading 0 is octal, and 9 is no octal digit
        {"0x-5", bad_start},
        {" 5-6", bad_start},
        {"5 -6", bad_start},
        {"x-y", bad_start},  // the start is checked before the end
        {"5- 6", bad_end},
        {"1+0x7fffffffffffffff", end_below_start},  // the sum overflows
        {"0x7fffffffffffffff+1", end_below_start},
        {"99999999999999999999+99999999999999999999", end_below_start},
    };
    for (const auto& c : cases) EXPECT_STREQ(check_range(c.text).error, c.error) << c.text;
}

TEST(RangeEndToEnd, MessageQuotesTheWholeArgumentAndNothingIsRead) {
    struct {
        const char* arg;
        const char* err;
    } const cases[] = {
        {"5", "zelk: no delimiter in range 5\n"},
        {"09-10", "zelk: invalid start value in range 09-10\n"},
        {"+x", "zelk: invalid end/size value in range +x\n"},
        {"+5", "zelk: start unspecified in range +5\n"},
        {"5+", "zelk: size unspecified in range 5+\n"},
        {"10-5", "zelk: end was less than start in range 10-5\n"},
        {"0x7ffffffffffffff0+0x10",
         "zelk: end was less than start in range 0x7ffffffffffffff0+0x10\n"},
    };
    // A later -w is never reached, and no input is opened.
    for (const auto& c : cases)
        expect_run({c.arg, {"-r", c.arg, "-w", "0", "/nonexistent"}, "", c.err, 1});
}

TEST(RangeEndToEnd, LinesAlignToTheRangeStart) {
    std::string input;
    for (int b = 0; b < 64; ++b) input += static_cast<char>(b);
    expect_run({"5-37",
                {"-p", "-r", "5-37"},
                "    0005  05 06 07 08 09 0a 0b 0c  0d 0e 0f 10 11 12 13 14  ........ ........\n"
                "    0015  15 16 17 18 19 1a 1b 1c  1d 1e 1f 20 21 22 23 24  ........ ... !\"#$\n",
                "",
                0,
                {},
                input,
                file_and_pipe});
}

TEST(RangeEndToEnd, ChunksCountFromTheRangeStart) {
    zelk_run r =
        run_file_and_pipe({"-p", "-w", "10", "-g", "0", "-r", "1500+2000"}, distinct_bytes(4000));
    // 1500 = 0x5dc; the first chunk ends after 1020 bytes of full lines and
    // a 4-byte line at 0x9d8, and the next chunk starts at 0x9dc.
    EXPECT_EQ(r.out.substr(0, 8), "    05dc");
    EXPECT_NE(r.out.find("\n    09ce "), std::string::npos);
    EXPECT_NE(r.out.find("\n    09d8 ", 0), std::string::npos);
    EXPECT_NE(r.out.find("\n    09dc "), std::string::npos);
    EXPECT_EQ(r.out.find("\n    09e2 "), std::string::npos);
}

TEST(RangeEndToEnd, RangesThatSelectLittleOrNothing) {
    struct {
        const char* range;
        std::string out;
    } const cases[] = {
        {"5-5", ""},
        {"7+0", ""},
        {"1000-", ""},  // start past the end is no error
        {"1000-2000", ""},
        // 60 * 7 % 251 = 0xa9: four bytes, then 12 blank columns with one
        // group space, the separator and the text block's group space.
        {"60-1000", "    003c  a9 b0 b7 be" + std::string(12 * 3 + 1 + 1 + 1, ' ') +
                        "\xc2\xa9\xc2\xb0\xc2\xb7\xc2\xbe" + std::string(4 + 1 + 8, ' ') + "\n"},
    };
    for (const auto& c : cases)
        expect_run(
            {c.range, {"-p", "-r", c.range}, c.out, "", 0, {}, distinct_bytes(64), file_and_pipe});
}

TEST(RangeEndToEnd, PipeIsSkippedByReading) {
    std::string input = distinct_bytes(3 * 1024 * 1024 + 100);
    input.replace(0x300000, 4, "WXYZ");
    zelk_run r = run_file_and_pipe({"-p", "-w", "4", "-g", "0", "-r", "0x300000+4"}, input);
    EXPECT_EQ(r.out, "  300000 57 58 59 5a WXYZ\n");
}

TEST(RangeEndToEnd, SeeksNearTheEndOfAHugeSparseFile) {
    temp_dir dir;
    const std::string path = dir.path + "/sparse";
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fseeko(f, 0x17ffffff8, SEEK_SET), 0);  // 6 GiB - 8
    std::fputs("tail end", f);
    std::fclose(f);
    const std::string expected =
        "17ffffff0  00 00 00 00 00 00 00 00  74 61 69 6c 20 65 6e 64  ........ tail end\n";
    zelk_run named = run_zelk({"-p", "-r", "0x17ffffff0-", path});
    EXPECT_EQ(named.out, expected);
    EXPECT_EQ(named.status, 0);
    zelk_call redirected;  // standard input seeks too
    redirected.args = {"-p", "-r", "0x17ffffff0+100"};
    redirected.stdin_path = path;
    EXPECT_EQ(run_zelk(redirected).out, expected);
}
