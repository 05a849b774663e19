// Hostile and huge inputs end to end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/run_zelk.hpp"

namespace {

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

}  // namespace

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
        zelk_run named = run_zelk({"-p", "-r", c.range, path});
        EXPECT_EQ(named.out, c.out) << c.range;
        EXPECT_EQ(named.err, "") << c.range;
        EXPECT_EQ(named.status, 0) << c.range;
        zelk_call redirected;
        redirected.args = {"-p", "-r", c.range};
        redirected.stdin_path = path;
        EXPECT_EQ(run_zelk(redirected).out, c.out) << c.range;
    }
}
