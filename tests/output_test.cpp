// Standard output that fails: a full device, a reader that goes away. No
// output is lost without a word.
#include "dump/output.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/reference_layout.hpp"
#include "tests/run_zelk.hpp"

using namespace zelk::detail;

namespace {

const std::string no_space = "zelk: stdout: No space left on device\n";

// A device that every write fails on with ENOSPC: Linux's /dev/full. Where
// there is none, as on macOS, the tests that write to it skip.
const char* const full_device = "/dev/full";
const char* const no_full_device = "no /dev/full here to write to";

}  // namespace

TEST(Output, FullDeviceIsAFatalError) {
    if (access(full_device, W_OK) != 0) GTEST_SKIP() << no_full_device;
    temp_dir dir;
    dir.write("small", "Hello, world!\n");
    dir.write("big", distinct_bytes(1 << 20));
    struct {
        const char* name;
        std::vector<std::string> args;
    } const cases[] = {
        // Everything is still buffered when the input ends: the last flush
        // fails.
        {"small input", {"-p", "small"}},
        {"small input in colour", {"small"}},
        // The dump stops at the first failed write: the missing file is never
        // reached, so it draws no warning.
        {"big input, then more", {"-p", "big", "missing", "small"}},
    };
    for (const auto& c : cases) {
        zelk_call call;
        call.args = c.args;
        call.cwd = dir.path;
        call.stdout_path = full_device;
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.err, no_space) << c.name;
        EXPECT_EQ(r.status, 1) << c.name;
    }
}

TEST(Output, FullDeviceWithStandardInput) {
    if (access(full_device, W_OK) != 0) GTEST_SKIP() << no_full_device;
    for (input_kind kind : {input_kind::file, input_kind::pipe}) {
        zelk_call call;
        call.input = distinct_bytes(300000);
        call.stdin_kind = kind;
        call.stdout_path = full_device;
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.err, no_space);
        EXPECT_EQ(r.status, 1);
    }
}

TEST(Output, ReaderThatClosesEarly) {
    temp_dir dir;
    dir.write("big", distinct_bytes(1 << 20));
    struct {
        bool ignore_sigpipe;
        std::string err;
        int status;
    } const cases[] = {
        // The default: the signal ends zelk quietly, as in "zelk big | head".
        {false, "", 128 + SIGPIPE},
        // A parent that ignores the signal leaves the write to fail instead.
        {true, "zelk: stdout: Broken pipe\n", 1},
    };
    for (const auto& c : cases) {
        zelk_call call;
        call.args = {"-p", "big", "missing"};
        call.cwd = dir.path;
        call.ignore_sigpipe = c.ignore_sigpipe;
        // One line, then the reader goes away; the output of 1 MiB is far
        // more than the pipe holds, so zelk is still writing.
        call.read_stdout = [](int fd) {
            std::string got(100, '\0');
            ssize_t n = read(fd, got.data(), got.size());
            got.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
            return got;
        };
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.out.substr(0, 8), "====> bi") << c.ignore_sigpipe;
        EXPECT_EQ(r.err, c.err) << c.ignore_sigpipe;
        EXPECT_EQ(r.status, c.status) << c.ignore_sigpipe;
    }
}

// Writes that the system takes only in part: what it did not take must be
// written again, and a write that takes nothing at all is a full device, not
// a reason to try for ever.
TEST(Output, WritesTakenInPart) {
    if (const char* why = why_no_preload()) GTEST_SKIP() << why;
    temp_dir dir;
    // Several output buffers' worth of lines, none of them repeated.
    const std::string input = distinct_bytes(1 << 16);
    dir.write("in", input);
    test_settings plain;
    plain.colour = false;
    const std::string dump = reference_dump(input, plain);
    ASSERT_GT(dump.size(), 2 * output_buffer_size);
    {
        // The first write goes through; the next takes nothing. What the
        // first took (at most one buffer, the start of the dump) stays.
        zelk_call call;
        call.args = {"-p", "in"};
        call.cwd = dir.path;
        call.shim = "write-zero";
        zelk_run r = run_zelk(call);
        EXPECT_GT(r.shim_changes, 0);
        EXPECT_GT(r.out.size(), 0u);
        EXPECT_LE(r.out.size(), output_buffer_size);
        EXPECT_TRUE(dump.compare(0, r.out.size(), r.out) == 0);
        EXPECT_EQ(r.err, no_space);
        EXPECT_EQ(r.status, 1);
    }
    {
        // The first write leaves its last byte, which must follow.
        zelk_call call;
        call.args = {"-p", "in"};
        call.cwd = dir.path;
        call.shim = "write-short";
        zelk_run r = run_zelk(call);
        EXPECT_EQ(r.shim_changes, 1);
        EXPECT_TRUE(r.out == dump) << r.out.size() << " bytes, not " << dump.size();
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
}
