// The command line end to end: options, operands, headers and statuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <string>
#include <vector>

#include "cli/shown_name.hpp"
#include "tests/golden_lines.hpp"
#include "tests/run_zelk.hpp"

namespace {

const std::string usage = "usage: zelk [-p] [-g groupsize] [-r range] [-w width]\n";

}  // namespace

TEST(Cli, Operands) {
    temp_dir dir;
    dir.write("hello", "Hello, world!\n");
    dir.write("ab", "AB");
    dir.write("-p", "AB");
    ASSERT_EQ(system(("mkdir " + dir.path + "/d").c_str()), 0);

    const std::vector<expected_run> cases = {
        {"one file, no header", {"-p", "hello"}, hello_plain, "", 0},
        {"two files",
         {"-p", "hello", "ab"},
         "====> hello <====\n" + hello_plain + "\n====> ab <====\n" + ab_plain,
         "",
         0},
        {"bold name in colour",
         {"hello", "ab"},
         "====> \033[1mhello\033[m <====\n" + hello_colour + "\n====> \033[1mab\033[m <====\n" +
             ab_colour,
         "",
         0},
        {"first file missing",
         {"-p", "missing", "ab"},
         "\n====> ab <====\n" + ab_plain,
         "zelk: missing: No such file or directory\n",
         1},
        {"last file missing",
         {"-p", "ab", "missing"},
         "====> ab <====\n" + ab_plain,
         "zelk: missing: No such file or directory\n",
         1},
        {"missing file among good ones",
         {"-p", "ab", "missing", "hello"},
         "====> ab <====\n" + ab_plain + "\n====> hello <====\n" + hello_plain,
         "zelk: missing: No such file or directory\n",
         1},
        {"only file missing", {"missing"}, "", "zelk: missing: No such file or directory\n", 1},
        {"lone dash is a path", {"-"}, "", "zelk: -: No such file or directory\n", 1},
        {"scanning stops at the first operand",
         {"ab", "-p"},
         "====> \033[1mab\033[m <====\n" + ab_colour + "\n====> \033[1m-p\033[m <====\n" +
             ab_colour,
         "",
         0},
        {"double dash ends the options", {"--", "-p"}, ab_colour, "", 0},
        {"directory among files",
         {"-p", "ab", "d", "hello"},
         "====> ab <====\n" + ab_plain + "\n====> hello <====\n" + hello_plain,
         "zelk: d: Is a directory\n",
         1},
        {"directory first",
         {"d", "ab"},
         "\n====> \033[1mab\033[m <====\n" + ab_colour,
         "zelk: d: Is a directory\n",
         1},
        {"only a directory", {"d"}, "", "zelk: d: Is a directory\n", 1},
        {"missing file and directory",
         {"-p", "missing", "d", "ab", "."},
         "\n====> ab <====\n" + ab_plain,
         "zelk: missing: No such file or directory\nzelk: d: Is a directory\n"
         "zelk: .: Is a directory\n",
         1},
    };
    for (const auto& c : cases) expect_run(c, dir.path);
}

TEST(Cli, ControlBytesOfNamesShowAsQuestionMarks) {
    temp_dir dir;
    // An escape sequence that would turn the terminal red, and a newline.
    const std::string red = "\033[31mred\nline";
    dir.write(red, "AB");
    dir.write("ab", "AB");
    ASSERT_EQ(system(("mkdir '" + dir.path + "/dir\x7f\x01 \xc3\xa9'").c_str()), 0);

    const std::vector<expected_run> cases = {
        {"header",
         {"-p", red, "ab"},
         "====> ?[31mred?line <====\n" + ab_plain + "\n====> ab <====\n" + ab_plain,
         "",
         0},
        {"bold header",
         {"ab", red},
         "====> \033[1mab\033[m <====\n" + ab_colour +
             "\n====> \033[1m?[31mred?line\033[m <====\n" + ab_colour,
         "",
         0},
        {"warnings; space and UTF-8 unchanged",
         {"-p", "\x1f missing\n", "dir\x7f\x01 \xc3\xa9", red},
         "\n====> ?[31mred?line <====\n" + ab_plain,
         "zelk: ? missing?: No such file or directory\n"
         "zelk: dir?? \xc3\xa9: Is a directory\n",
         1},
    };
    for (const auto& c : cases) expect_run(c, dir.path);
}

TEST(ShownName, OnlyWellFormedCharactersThatAreNoControlsShow) {
    const struct {
        std::string name, shown;
    } cases[] = {
        {"", ""},
        {"plain name.txt", "plain name.txt"},
        {"\x1b[31m\n\x7f\t", "?[31m???"},
        {std::string("a\0b", 3), "a?b"},
        // UTF-8 of two, three and four bytes shows as it is.
        {"caf\xc3\xa9 \xe2\x80\x93 \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x80\x93 \xf0\x9f\x98\x80"},
        // C1 controls in UTF-8 (U+009B is CSI, U+009D OSC), one '?' each;
        // U+00A0 just above them is a character like any other.
        {"b\xc2\x9b"
         "2J",
         "b?2J"},
        {"\xc2\x9d"
         "0;title\x07",
         "?0;title?"},
        {"\xc2\x80\xc2\x9f\xc2\xa0", "??\xc2\xa0"},
        // A C1 control as a raw byte, and Latin-1.
        {"\x9b"
         "31m",
         "?31m"},
        {"caf\xe9", "caf?"},
        // Sequences cut short: each byte that begins none shows as '?'.
        {"\xc3", "?"},
        {"\xe2\x82", "??"},
        {"\xe2\x82"
         "A",
         "??A"},
        {"\xf0\x9f\x98", "???"},
        {"\xe2\x28\xa1", "?(?"},
        // Overlong forms, of '/' and of CSI; U+0800 and U+10000 are the
        // smallest that need three and four bytes.
        {"\xc0\xaf\xc1\xbf", "????"},
        {"\xe0\x80\xaf", "???"},
        {"\xe0\x82\x9b", "???"},
        {"\xf0\x80\x80\xaf", "????"},
        {"\xe0\xa0\x80\xf0\x90\x80\x80", "\xe0\xa0\x80\xf0\x90\x80\x80"},
        // Surrogates, and the code points next to them.
        {"\xed\xa0\x80", "???"},
        {"\xed\xbf\xbf", "???"},
        {"\xed\x9f\xbf\xee\x80\x80", "\xed\x9f\xbf\xee\x80\x80"},
        // Above U+10FFFF, and U+10FFFF itself.
        {"\xf4\x90\x80\x80", "????"},
        {"\xf4\x8f\xbf\xbf", "\xf4\x8f\xbf\xbf"},
        // Bytes that begin nothing anywhere.
        {"\xf5\x80\x80\x80", "????"},
        {"\xf8\xfc\xfe\xff", "????"},
        {"\x80", "?"},
        {"a\xbf"
         "b",
         "a?b"},
    };
    for (const auto& c : cases) {
        std::string out(c.name.size(), '#');
        out.resize(shown_name(c.name.data(), c.name.size(), out.data()));
        EXPECT_EQ(out, c.shown) << testing::PrintToString(c.name);
        std::string in_place = c.name;
        in_place.resize(shown_name(in_place.data(), in_place.size(), in_place.data()));
        EXPECT_EQ(in_place, c.shown) << testing::PrintToString(c.name) << " in place";
    }
}

TEST(Cli, NamesShowAsUtf8WithoutControls) {
    temp_dir dir;
    const std::string csi =
        "b\xc2\x9b"
        "2J";
    const std::string raw_csi =
        "\x9b"
        "31m";
    const std::string latin1 = "caf\xe9";
    const std::string utf8 = "caf\xc3\xa9 \xe2\x80\x93 \xf0\x9f\x98\x80";
    for (const std::string& name : {csi, raw_csi, latin1, utf8, std::string("ab")})
        dir.write(name, "AB");

    const std::vector<expected_run> cases = {
        {"headers",
         {"-p", csi, raw_csi, latin1, utf8},
         "====> b?2J <====\n" + ab_plain + "\n====> ?31m <====\n" + ab_plain +
             "\n====> caf? <====\n" + ab_plain + "\n====> " + utf8 + " <====\n" + ab_plain,
         "",
         0},
        {"bold header",
         {"ab", csi},
         "====> \033[1mab\033[m <====\n" + ab_colour + "\n====> \033[1mb?2J\033[m <====\n" +
             ab_colour,
         "",
         0},
        {"warnings",
         {"-p", "x" + csi, "x" + raw_csi, "x" + latin1, "x" + utf8},
         "",
         "zelk: xb?2J: No such file or directory\n"
         "zelk: x?31m: No such file or directory\n"
         "zelk: xcaf?: No such file or directory\n"
         "zelk: x" +
             utf8 + ": No such file or directory\n",
         1},
    };
    for (const auto& c : cases) expect_run(c, dir.path);
}

// "zelk f >> f" would read its own dump as it appends it, for as long as
// the disk has room.
TEST(Cli, InputThatIsTheOutputFileIsSkipped) {
    const std::string hello = "Hello, world!\n";
    struct {
        const char* name;
        std::vector<std::string> args;
        bool stdin_is_output;
        std::string appended, err;
    } const cases[] = {
        {"only operand", {"-p", "out"}, false, "", "zelk: out: input file is output file\n"},
        {"first of two",
         {"-p", "out", "ab"},
         false,
         "\n====> ab <====\n" + ab_plain,
         "zelk: out: input file is output file\n"},
        {"between two",
         {"-p", "ab", "out", "ab"},
         false,
         "====> ab <====\n" + ab_plain + "\n====> ab <====\n" + ab_plain,
         "zelk: out: input file is output file\n"},
        // The same file under another name, shown as names are.
        {"hard link",
         {"-p", "ab", "link\x1b"},
         false,
         "====> ab <====\n" + ab_plain,
         "zelk: link?: input file is output file\n"},
        {"a range", {"-p", "-r", "1-", "out"}, false, "", "zelk: out: input file is output file\n"},
        {"standard input", {"-p"}, true, "", "zelk: (stdin): input file is output file\n"},
    };
    for (const auto& c : cases) {
        temp_dir dir;
        const std::string out = dir.write("out", hello);
        dir.write("ab", "AB");
        ASSERT_EQ(link(out.c_str(), (dir.path + "/link\x1b").c_str()), 0);
        zelk_call call;
        call.args = c.args;
        call.cwd = dir.path;
        call.stdout_path = out;
        call.append_stdout = true;
        if (c.stdin_is_output) call.stdin_path = out;
        zelk_run r = run_zelk(call);
        EXPECT_EQ(read_file(out), hello + c.appended) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(r.status, 1) << c.name;
    }
}

// A real read error on a named file still ends the run, and its message
// shows the name the same way.
TEST(Cli, ReadErrorOnAFileIsFatal) {
    // Linux: reading a process's memory at offset 0, which is never mapped,
    // fails with EIO.
    if (access("/proc/self/mem", R_OK) != 0) GTEST_SKIP() << "no /proc/self/mem";
    temp_dir dir;
    dir.write("ab", "AB");
    ASSERT_EQ(symlink("/proc/self/mem", (dir.path + "/mem\x1b").c_str()), 0);
    expect_run({"read error",
                {"-p", "ab", "mem\x1b", "ab"},
                "====> ab <====\n" + ab_plain + "\n====> mem? <====\n",
                "zelk: (while reading) mem?: Input/output error\n",
                1},
               dir.path);
}

TEST(Cli, Options) {
    const std::string input = "ABCDEFGH";
    const std::vector<expected_run> cases = {
        {"later -w wins",
         {"-p", "-w", "8", "-w", "4"},
         "    0000  41 42 43 44  ABCD\n    0004  45 46 47 48  EFGH\n",
         "",
         0,
         {},
         input},
        {"later -r wins",
         {"-p", "-w", "4", "-r", "1-2", "-r", "3-4"},
         "    0003  44           D   \n",
         "",
         0,
         {},
         input},
        {"-w like atol",
         {"-p", "-w", "4xyz", "-g", " 2"},
         "    0000  41 42  43 44  AB CD\n    0004  45 46  47 48  EF GH\n",
         "",
         0,
         {},
         input},
        {"-g -1 is one group",
         {"-p", "-w", "4", "-g", "-1"},
         "    0000  41 42 43 44  ABCD\n    0004  45 46 47 48  EFGH\n",
         "",
         0,
         {},
         input},
        {"widest line", {"-p", "-w", "1048576", "-r", "0-0"}, "", "", 0, {}, input},
    };
    for (const auto& c : cases) expect_run(c);
}

// An unknown option or one without its argument: the option scanner's own
// message, worded by the C library (glibc: "zelk: invalid option -- 'x'",
// musl: "zelk: unrecognized option: x"), then the usage, and status 1. What
// every wording has: one line that starts with zelk's name and ends with the
// letter as a word of its own, quoted or not.
namespace {

// The line starts with zelk's name and ends with `letter` as a word of its
// own, quoted or not.
bool names_zelk_and_letter(const std::string& line, char letter) {
    const auto word_char = [](char ch) {
        return std::isalnum(static_cast<unsigned char>(ch)) != 0;
    };
    if (line.rfind("zelk: ", 0) != 0) return false;
    std::size_t end = line.size();
    while (end > 6 && !word_char(line[end - 1])) --end;  // a closing quote
    return end > 6 && line[end - 1] == letter && !word_char(line[end - 2]);
}

}  // namespace

TEST(Cli, OptionScannerMessages) {
    const struct {
        const char* name;
        std::vector<std::string> args;
        char letter;
    } cases[] = {
        {"unknown option", {"-x"}, 'x'},
        {"unknown option in a cluster", {"-px", "-w", "4"}, 'x'},
        {"missing argument", {"-p", "-w"}, 'w'},
        {"missing argument in a cluster", {"-pg"}, 'g'},
    };
    for (const auto& c : cases) {
        const zelk_run r = run_zelk(c.args, "ABCDEFGH");
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_EQ(r.status, 1) << c.name;
        const std::size_t line_end = r.err.find('\n');
        ASSERT_NE(line_end, std::string::npos) << c.name << ": " << r.err;
        EXPECT_EQ(r.err.substr(line_end + 1), usage) << c.name;
        EXPECT_TRUE(names_zelk_and_letter(r.err.substr(0, line_end), c.letter))
            << c.name << ": " << r.err;
    }
}

TEST(Cli, BadWidthIsRefusedBeforeAnythingElse) {
    // Neither the colour variable nor the missing file is looked at.
    const std::vector<std::string> env = {"ZELK_COLORS=bogus"};
    const std::vector<expected_run> cases = {
        {"0",
         {"-w", "0", "-p", "/nonexistent"},
         "",
         "zelk: invalid width 0: must be 1 to 1048576\n",
         1,
         env,
         "AB"},
        {"abc",
         {"-w", "abc", "-p", "/nonexistent"},
         "",
         "zelk: invalid width abc: must be 1 to 1048576\n",
         1,
         env,
         "AB"},
        {"-1",
         {"-w", "-1", "-p", "/nonexistent"},
         "",
         "zelk: invalid width -1: must be 1 to 1048576\n",
         1,
         env,
         "AB"},
        {"one above the widest",
         {"-w", "1048577", "-p", "/nonexistent"},
         "",
         "zelk: invalid width 1048577: must be 1 to 1048576\n",
         1,
         env,
         "AB"},
        {"beyond 64 bits",
         {"-w", "99999999999999999999999", "-p", "/nonexistent"},
         "",
         "zelk: invalid width 99999999999999999999999: must be 1 to 1048576\n",
         1,
         env,
         "AB"},
    };
    for (const auto& c : cases) expect_run(c);
}

TEST(Cli, OperandThatIsNoRegularFileIsRead) {
    // A pipe named as an operand, as process substitution gives, is dumped
    // like any file.
    temp_dir dir;
    dir.write("ab", "AB");
    expect_run({"/dev/stdin, a pipe",
                {"-p", "ab", "/dev/stdin"},
                "====> ab <====\n" + ab_plain + "\n====> /dev/stdin <====\n" + hello_plain,
                "",
                0,
                {},
                "Hello, world!\n",
                {input_kind::pipe}},
               dir.path);
}

// Standard input has nothing after it to lose, so a directory there stays a
// read error.
TEST(Cli, StandardInputReadErrorNamesStdin) {
    temp_dir dir;
    zelk_call call;
    call.stdin_path = dir.path;  // a directory: opens, but cannot be read
    zelk_run r = run_zelk(call);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zelk: (while reading) (stdin): Is a directory\n");
    EXPECT_EQ(r.status, 1);
}
