// Hostile and huge inputs end to end: FIFOs, devices, a file that shrinks
// under the reader, offsets near 2^63, a long input through a pipe, and
// arguments that are empty, very long or not ASCII.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "dump/byte_class.hpp"
#include "dump/poison.hpp"
#include "tests/golden_lines.hpp"
#include "tests/reference_layout.hpp"
#include "tests/run_zelk.hpp"

using namespace zelk::detail;

namespace {

std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 engine(seed);
    std::string s(size, '\0');
    for (char& c : s) c = static_cast<char>(engine() & 0xff);
    return s;
}

// Reads until `limit` bytes have come or the writer has closed.
std::string read_up_to(int fd, std::size_t limit) {
    std::string got;
    char buffer[65536];
    while (got.size() < limit) {
        ssize_t n = read(fd, buffer, std::min(sizeof buffer, limit - got.size()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}

// A FIFO with a writer thread that sends `bytes` once zelk opens it. If zelk
// never does, the destructor opens it itself so that the writer can finish.
struct fifo_writer {
    std::string path;
    std::thread writer;
    fifo_writer(std::string fifo_path, std::string bytes) : path(std::move(fifo_path)) {
        if (mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
        writer = std::thread([this, bytes = std::move(bytes)] {
            int fd = open(path.c_str(), O_WRONLY);
            if (fd < 0) return;
            if (write(fd, bytes.data(), bytes.size()) < 0) {
                // zelk stopped reading; nothing more to send
            }
            close(fd);
        });
    }
    ~fifo_writer() {
        int unblock = open(path.c_str(), O_RDONLY | O_NONBLOCK);
        writer.join();
        if (unblock >= 0) close(unblock);
    }
};

}  // namespace

TEST(Hostile, Fifo) {
    // A FIFO cannot seek: the range start is skipped by reading, as in a pipe.
    const std::string expected = "    0006  66 69 66 6f" + std::string(36 + 1 + 1 + 1, ' ') +
                                 "fifo" + std::string(12 + 1, ' ') + "\n";
    for (bool as_operand : {true, false}) {
        temp_dir dir;
        fifo_writer fifo(dir.path + "/fifo", "hello fifo world");
        zelk_call call;
        call.args = {"-p", "-r", "6+4"};
        if (as_operand)
            call.args.push_back(fifo.path);
        else
            call.stdin_path = fifo.path;
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.out, expected) << as_operand;
        EXPECT_EQ(r.err, "") << as_operand;
        EXPECT_EQ(r.status, 0) << as_operand;
    }
}

TEST(Hostile, DevZeroWithABoundedRange) {
    const std::string zeros =
        " 00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  ........ ........\n";
    const std::string fifteen_zeros =
        " 00 00 00 00 00 00 00 00  00 00 00 00 00 00 00     ........ ....... \n";
    struct {
        std::vector<std::string> args;
        std::string out;
    } const cases[] = {
        {{"-p", "-r", "0x10000+0x20000", "/dev/zero"}, "   10000 " + zeros + "       *\n"},
        // Offsets up to the largest one a range can name, 2^63 - 2.
        {{"-p", "-r", "0x7fffffffffffffe0-0x7fffffffffffffff", "/dev/zero"},
         "7fffffffffffffe0 " + zeros + "7ffffffffffffff0 " + fifteen_zeros},
        // The device never ends, but offsets do: the dump stops at 2^63 - 1.
        // (Width 10 leaves a short line at the end of every chunk, so a dump
        // that went on would keep writing.)
        {{"-p", "-w", "10", "-g", "0", "-r", "0x7ffffffffffffff0-", "/dev/zero"},
         "7ffffffffffffff0 00 00 00 00 00 00 00 00 00 00 ..........\n"
         "7ffffffffffffffa 00 00 00 00 00" +
             std::string(15 + 1, ' ') + "....." + std::string(5, ' ') + "\n"},
        {{"-p", "-r", "0x7ffffffffffffff8+7", "/dev/zero"},
         "7ffffffffffffff8  00 00 00 00 00 00 00" + std::string(3 + 1 + 24 + 1 + 1, ' ') +
             "......." + std::string(1 + 1 + 8, ' ') + "\n"},
    };
    for (const auto& c : cases) {
        // The device never ends: a dump that overruns its range is cut off
        // after 1 MiB (and zelk killed by SIGPIPE) rather than left running.
        zelk_call call;
        call.args = c.args;
        call.read_stdout = [](int fd) { return read_up_to(fd, 1 << 20); };
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.out, c.out) << c.args[c.args.size() - 2];
        EXPECT_EQ(r.err, "") << c.args[c.args.size() - 2];
        EXPECT_EQ(r.status, 0) << c.args[c.args.size() - 2];
    }
    zelk_call redirected;  // standard input seeks on the device too
    redirected.args = {"-p", "-r", "0x10000+0x20000"};
    redirected.stdin_path = "/dev/zero";
    EXPECT_EQ(run_zelk(redirected).out, "   10000 " + zeros + "       *\n");
}

TEST(Hostile, WidestLinesOfRealBytes) {
    // Each 1024-byte chunk fills the front of one line of 2^20 columns; the
    // next chunk repeats it.
    zelk_run r = run_zelk({"-p", "-w", "1048576", "-r", "0+4096", "/dev/zero"});
    const std::size_t columns = 1048576, groups = columns / 8;
    const std::size_t line_length = 8 + (groups + 3 * columns) + 1 + (groups + columns) + 1;
    ASSERT_EQ(r.out.size(), line_length + 9);
    EXPECT_EQ(r.out.substr(0, 12), "    0000  00");
    EXPECT_EQ(r.out.find_first_not_of(' ', 8 + groups + 3 * columns),
              8 + groups + 3 * columns + 2);  // the separator and a group space, then text
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '.'), 1024);
    EXPECT_EQ(r.out.substr(line_length), "       *\n");
    EXPECT_EQ(r.status, 0);
}

TEST(Hostile, OffsetsNearTwoToTheSixtyThreeInASparseFile) {
    // The largest file size is 2^63 - 1; tmpfs allows it, most disk file
    // systems stop far below.
    temp_dir dir;
    const std::string path = "/dev/shm/zelk-sparse-" + std::to_string(getpid());
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) GTEST_SKIP() << "no /dev/shm";
    const ssize_t written = pwrite(fd, "the last bytes!", 15, INT64_MAX - 15);
    close(fd);
    struct unlink_at_end {
        const std::string& path;
        ~unlink_at_end() { unlink(path.c_str()); }
    } cleanup{path};
    if (written != 15) GTEST_SKIP() << "/dev/shm holds no file of 2^63 - 1 bytes";

    const std::string tail =
        "7ffffffffffffff0  74 68 65 20 6c 61 73 74  20 62 79 74 65 73 21     the last  bytes! \n";
    struct {
        const char* range;
        std::string out;
    } const cases[] = {
        {"0x7fffffffffffffe0-",
         "7fffffffffffffe0  00 00 00 00 00 00 00 00  00 00 00 00 00 00 00 00  ........ "
         "........\n" +
             tail},
        {"0x7ffffffffffffff0-0x7fffffffffffffff", tail},
        {"0x7fffffffffffffff-", ""},  // the end of the file
    };
    for (const auto& c : cases) {
        expect_run({c.range, {"-p", "-r", c.range, path}, c.out, "", 0});
        zelk_call redirected;
        redirected.args = {"-p", "-r", c.range};
        redirected.stdin_path = path;
        EXPECT_EQ(run_zelk(redirected).out, c.out) << c.range;
    }
}

TEST(Hostile, FileThatShrinksWhileBeingRead) {
    // After the first 64 KiB of output zelk has read only a little of the
    // 8 MiB; then the file is cut. The dump ends quietly where the file now
    // ends, or where zelk already was when it is cut to nothing.
    temp_dir dir;
    const std::size_t size = 8 << 20, cut = 2 << 20;
    const std::string content = random_bytes(size, 1);
    zelk_run reference = run_zelk({"-p", dir.write("reference", content.substr(0, cut))});
    ASSERT_EQ(reference.status, 0);

    for (std::size_t shrink_to : {cut, std::size_t{0}}) {
        const std::string path = dir.write("shrinking", content);
        zelk_call call;
        call.args = {"-p", path};
        call.read_stdout = [&](int fd) {
            std::string out = read_up_to(fd, 64 << 10);
            if (truncate(path.c_str(), static_cast<off_t>(shrink_to)) != 0) ADD_FAILURE();
            return out + read_up_to(fd, SIZE_MAX);
        };
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.err, "") << shrink_to;
        EXPECT_EQ(r.status, 0) << shrink_to;
        if (shrink_to == cut) {
            EXPECT_TRUE(r.out == reference.out) << r.out.size() << " " << reference.out.size();
        } else {
            ASSERT_GE(r.out.size(), std::size_t{64 << 10});
            EXPECT_LT(r.out.size(), reference.out.size());
            EXPECT_EQ(r.out.back(), '\n');
            EXPECT_TRUE(reference.out.compare(0, r.out.size(), r.out) == 0);
        }
    }
}

TEST(Hostile, MemoryStaysFlatThroughAPipe) {
    // Each MiB has lines of all kinds: distinct ones, then a long run of
    // repeats.
    std::string mebibyte = random_bytes(64 << 10, 2);
    mebibyte.resize(1 << 20, '\0');
    auto peak_rss_kib = [&](std::size_t mebibytes) {
        zelk_call call;
        call.args = {"-p"};
        call.input = mebibyte;
        call.input_repeat = mebibytes;
        call.stdin_kind = input_kind::pipe;
        call.stdout_path = "/dev/null";
        call.measure_memory = true;
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
        return r.peak_rss_kib;
    };
    const long small = peak_rss_kib(1);
    const long big = peak_rss_kib(256);
    EXPECT_GT(small, 0);
    // The same buffers serve any input. The figure varies by a few hundred
    // KiB from run to run (how many pages of the shared libraries get mapped
    // in), far below what keeping even 1% of the input would add.
    EXPECT_LE(big, small + 1024) << "peak RSS " << small << " KiB for 1 MiB, " << big
                                 << " KiB for 256 MiB";
}

// A read interrupted by a signal is made again, and a read that returns
// less than was asked for is followed by more: every other read is
// interrupted and the rest return at most 1000 bytes, yet the dump is the
// usual one, from a file, through a pipe, and while skipping through a pipe
// to the start of a range.
TEST(Hostile, InterruptedAndShortReads) {
    if (const char* why = why_no_preload()) GTEST_SKIP() << why;
    const std::string input = random_bytes(200000, 3);
    struct {
        const char* name;
        input_kind kind;
        std::vector<std::string> args;
        std::int64_t start, end;
    } const cases[] = {
        {"file", input_kind::file, {"-p"}, 0, -1},
        {"pipe", input_kind::pipe, {"-p"}, 0, -1},
        {"pipe, range", input_kind::pipe, {"-p", "-r", "150001+3000"}, 150001, 153001},
        {"file, range", input_kind::file, {"-p", "-r", "70000-"}, 70000, -1},
    };
    for (const auto& c : cases) {
        test_settings s;
        s.colour = false;
        s.range_start = c.start;
        s.range_end = c.end;
        zelk_call call;
        call.args = c.args;
        call.input = input;
        call.stdin_kind = c.kind;
        call.shim = "read-eintr";
        zelk_run r = run_zelk(call);
        EXPECT_GT(r.shim_changes, 2) << c.name;
        EXPECT_TRUE(r.out == reference_dump(input, s)) << c.name;
        EXPECT_EQ(r.err, "") << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
    }
}

TEST(Hostile, Arguments) {
    temp_dir dir;
    const std::string odd_name = "\xff\xfe\x80\xc3\xa9";
    dir.write(odd_name, "AB");
    dir.write("ab", "AB");
    dir.write("zero", std::string(1, '\0'));
    // One argument or environment string holds at most 128 KiB.
    const std::string long_text(60000, 'a');
    const std::string long_colour = std::string(30000, '1') + ";" + std::string(29999, '2');
    const expected_run cases[] = {
        {"empty operand", {"-p", ""}, "", "zelk: : No such file or directory\n", 1},
        {"empty width", {"-w", "", "ab"}, "", "zelk: invalid width : must be 1 to 1048576\n", 1},
        {"empty range", {"-r", "", "ab"}, "", "zelk: no delimiter in range \n", 1},
        {"empty group size is no groups",
         {"-p", "-g", "", "ab"},
         "    0000 41 42" + std::string(42 + 1, ' ') + "AB" + std::string(14, ' ') + "\n",
         "",
         0},
        {"long operand", {"-p", long_text}, "", "zelk: " + long_text + ": File name too long\n", 1},
        {"long width", {"-p", "-w", std::string(60000, '0') + "16", "ab"}, ab_plain, "", 0},
        {"long range start saturates",
         {"-p", "-r", std::string(60000, '7') + "-", "ab"},
         "",
         "",
         0},
        {"long range end saturates",
         {"-p", "-r", "1-" + std::string(60000, '7'), "ab"},
         "    0001  42" + std::string(45 + 1 + 1 + 1, ' ') + "B" + std::string(15 + 1, ' ') + "\n",
         "",
         0},
        {"long range value is checked whole",
         {"-r", "1-" + long_text},
         "",
         "zelk: invalid end/size value in range 1-" + long_text + "\n",
         1},
        {"long colour value and long bad property",
         {"zero"},
         "    0000 \033[" + long_colour + "m 00" + std::string(45 + 1 + 1 + 1, ' ') + "." +
             std::string(15 + 1, ' ') + "\033[m\n",
         "zelk: no '=' found in ZELK_COLORS property '" + long_text + "'\n",
         0,
         {"ZELK_COLORS=" + long_text + " zero=" + long_colour}},
        // Opened by their bytes, shown as far as they are UTF-8.
        {"file names are bytes",
         {"-p", odd_name,
          "\xfe"
          "missing",
          odd_name},
         "====> ???\xc3\xa9 <====\n" + ab_plain + "\n====> ???\xc3\xa9 <====\n" + ab_plain,
         "zelk: ?missing: No such file or directory\n",
         1},
        {"bytes in a range",
         {"-r", "1-\xc3\xa9"},
         "",
         "zelk: invalid end/size value in range 1-\xc3\xa9\n",
         1},
    };
    for (const auto& c : cases) expect_run(c, dir.path);
}

// zelk runs with a stack of 16 KiB, in every layout, plain and coloured,
// with escapes too long for the fast paths, a range, several files and a
// message. It needs less than half of that: on x86-64 the system starts the
// stack up to 8 KiB below its top at random, so that the room left differs
// from run to run.
TEST(Hostile, SmallStack) {
#ifdef ZELK_POISON
    GTEST_SKIP() << "AddressSanitizer widens every frame and needs a stack of its own to start";
#endif
    if (runs_emulated())
        GTEST_SKIP() << "an emulator gives the program a stack of the emulator's own size";
    temp_dir dir;
    // Several chunks of bytes of every class.
    const std::string input = random_bytes(5000, 5);
    dir.write("in", input);
    struct layout {
        const char* name;
        std::uint64_t width, group;
        std::int64_t start = 0, end = -1;
    } const layouts[] = {
        {"default", 16, 8},
        {"narrow", 4, 8},
        {"odd groups", 7, 3},
        {"two pieces", 32, 8},
        {"wide", 100, 8},
        {"a chunk wide", 1000, 8},
        {"wider than a chunk", 2048, 8},
        {"range", 16, 8, 100, 4000},
    };
    const auto run = [&](std::vector<std::string> args, std::vector<std::string> env = {}) {
        zelk_call call;
        call.args = std::move(args);
        call.env = std::move(env);
        call.cwd = dir.path;
        call.stack_kib = 16;
        return run_zelk(call);
    };
    for (const layout& l : layouts) {
        for (bool colour : {false, true}) {
            test_settings s;
            s.width = l.width;
            s.group_size = l.group;
            s.colour = colour;
            s.range_start = l.start;
            s.range_end = l.end;
            std::vector<std::string> args = {
                "-w", std::to_string(l.width),
                "-g", std::to_string(l.group),
                "-r", std::to_string(l.start) + "-" + (l.end == -1 ? "" : std::to_string(l.end))};
            if (!colour) args.push_back("-p");
            args.push_back("in");
            const zelk_run r = run(args);
            const char* how = colour ? " coloured" : " plain";
            EXPECT_TRUE(r.out == reference_dump(input, s)) << l.name << how;
            EXPECT_EQ(r.err, "") << l.name << how;
            EXPECT_EQ(r.status, 0) << l.name << how;
        }
    }
    {
        // Escapes longer than the fast paths take, laid out by the generic one.
        const std::string long_colour(300, '1');
        const std::string expected = [&] {
            test_settings s;
            s.colours[0] = long_colour;
            s.width = 100;
            return reference_dump(input, s);
        }();
        const zelk_run r = run({"-w", "100", "in"}, {"ZELK_COLORS=zero=" + long_colour});
        EXPECT_TRUE(r.out == expected) << "long escapes";
        EXPECT_EQ(r.err, "") << "long escapes";
        EXPECT_EQ(r.status, 0) << "long escapes";
    }
    {
        const std::string dump = reference_dump(input, test_settings{});
        const zelk_run r = run({"in", "missing", "in"});
        EXPECT_TRUE(r.out == "====> \033[1min\033[m <====\n" + dump +
                                 "\n====> \033[1min\033[m <====\n" + dump)
            << "several files";
        EXPECT_EQ(r.err, "zelk: missing: No such file or directory\n");
        EXPECT_EQ(r.status, 1);
    }
}

// The widest offset field, 16 digits, on a line whose escape is too long for
// any reserve, so that the line is written an item at a time, its field
// through a buffer of the field's widest size. /dev/zero seeks anywhere.
TEST(Hostile, LongEscapeAtASixteenDigitOffset) {
    const std::string letters(130, 'a');
    const std::string expected = [&] {
        test_settings s;
        s.colours[static_cast<std::size_t>(byte_class::zero)] = letters;
        s.width = 1024;
        return reference_lines(std::string(1024, '\0'), 0x1000000000000000, s);
    }();
    // The field, the group space, the escape, then the first pairs.
    const std::string start = "1000000000000000 \033[" + letters + "m 00 00";
    ASSERT_EQ(expected.substr(0, start.size()), start);
    zelk_call call;
    call.args = {"-w", "1024", "-r", "0x1000000000000000+1024", "/dev/zero"};
    call.env = {"ZELK_COLORS=zero=" + letters};
    const zelk_run r = run_zelk(call);
    EXPECT_TRUE(r.out == expected);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.status, 0);
}
