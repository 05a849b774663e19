// The command line end to end: options, operands, headers and statuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/run_zelk.hpp"

namespace {

const std::string usage = "usage: zelk [-p] [-g groupsize] [-r range] [-w width]\n";

const std::string hello_plain =
    "    0000  48 65 6c 6c 6f 2c 20 77  6f 72 6c 64 21 0a        Hello, w orld!.  \n";
// After the two bytes: 6 blank columns, a group space, 8 blank columns, the
// separator and the text block's group space.
const std::string ab_plain = "    0000  41 42" + std::string(18 + 1 + 24 + 1 + 1, ' ') + "AB" +
                             std::string(6 + 1 + 8, ' ') + "\n";
const std::string ab_colour =
    "    0000 \033[m 41 42" + std::string(45, ' ') + "AB" + std::string(15, ' ') + "\033[m\n";

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
         "====> \033[1mhello\033[m <====\n"
         "    0000 \033[m 48 65 6c 6c 6f 2c 20 77  6f 72 6c 64 21\033[38;5;150m 0a        "
         "\033[mHello, w orld!\033[38;5;150m.  \033[m\n"
         "\n====> \033[1mab\033[m <====\n" +
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
    const std::vector<expected_run> cases = {
        {"later -w wins",
         {"-p", "-w", "8", "-w", "4"},
         "    0000  41 42 43 44  ABCD\n    0004  45 46 47 48  EFGH\n",
         "",
         0},
        {"later -r wins",
         {"-p", "-w", "4", "-r", "1-2", "-r", "3-4"},
         "    0003  44           D   \n",
         "",
         0},
        {"-w like atol",
         {"-p", "-w", "4xyz", "-g", " 2"},
         "    0000  41 42  43 44  AB CD\n    0004  45 46  47 48  EF GH\n",
         "",
         0},
        {"-g -1 is one group",
         {"-p", "-w", "4", "-g", "-1"},
         "    0000  41 42 43 44  ABCD\n    0004  45 46 47 48  EFGH\n",
         "",
         0},
        {"widest line", {"-p", "-w", "1048576", "-r", "0-0"}, "", "", 0},
        {"unknown option", {"-x"}, "", "zelk: invalid option -- 'x'\n" + usage, 1},
        {"missing argument",
         {"-p", "-w"},
         "",
         "zelk: option requires an argument -- 'w'\n" + usage,
         1},
    };
    for (const auto& c : cases) {
        zelk_run r = run_zelk(c.args, "ABCDEFGH");
        EXPECT_EQ(r.out, c.out) << c.name;
        EXPECT_EQ(r.err, c.err) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

TEST(Cli, BadWidthIsRefusedBeforeAnythingElse) {
    for (const char* width : {"0", "abc", "-1", "1048577", "99999999999999999999999"}) {
        zelk_call call;
        // Neither the colour variable nor the missing file is looked at.
        call.args = {"-w", width, "-p", "/nonexistent"};
        call.env = {"ZELK_COLORS=bogus"};
        call.input = "AB";
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.out, "") << width;
        EXPECT_EQ(r.err, "zelk: invalid width " + std::string(width) + ": must be 1 to 1048576\n")
            << width;
        EXPECT_EQ(r.status, 1) << width;
    }
}

TEST(Cli, OperandThatIsNoRegularFileIsRead) {
    // A pipe named as an operand, as process substitution gives, is dumped
    // like any file.
    temp_dir dir;
    dir.write("ab", "AB");
    zelk_call call;
    call.args = {"-p", "ab", "/dev/stdin"};
    call.input = "Hello, world!\n";
    call.stdin_kind = input_kind::pipe;
    call.cwd = dir.path;
    zelk_run r = run_zelk(call);
    EXPECT_EQ(r.out, "====> ab <====\n" + ab_plain + "\n====> /dev/stdin <====\n" + hello_plain);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
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
