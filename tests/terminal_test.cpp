// zelk at a terminal: with its input still open, the lines of each chunk of
// input show on the terminal as the chunk arrives, not when the input ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dump/settings.hpp"
#include "tests/run_zelk.hpp"

using namespace zelk::detail;

namespace {

using steady = std::chrono::steady_clock;

// Long enough for a loaded machine or a sanitizer build; only a fault waits
// it out.
constexpr auto patience = std::chrono::seconds(10);

// The lines below are written for chunks of 1024 bytes: one chunk of a
// byte value is a line and a marker, and the second starts at 0x400.
static_assert(chunk_size == 0x400);

// zelk -p with a pseudo-terminal as standard output and standard error, and
// a pipe that the test writes as standard input. Whatever happens to the
// test, zelk is killed and reaped when this goes.
struct terminal_run {
    int master = -1;   // the test's side of the terminal
    int input = -1;    // write end of zelk's standard input
    pid_t pid = -1;    // zelk, until reaped
    std::string seen;  // all that zelk has shown on the terminal so far

    terminal_run() = default;
    terminal_run(const terminal_run&) = delete;
    terminal_run& operator=(const terminal_run&) = delete;
    ~terminal_run() {
        if (input >= 0) close(input);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (master >= 0) close(master);
    }
};

void start(terminal_run& run) {
    // A zelk that ends early must not take the test down with a write to
    // its input.
    signal(SIGPIPE, SIG_IGN);

    run.master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(run.master, 0) << "posix_openpt: " << std::strerror(errno);
    ASSERT_EQ(fcntl(run.master, F_SETFD, FD_CLOEXEC), 0);
    ASSERT_EQ(grantpt(run.master), 0) << "grantpt: " << std::strerror(errno);
    ASSERT_EQ(unlockpt(run.master), 0) << "unlockpt: " << std::strerror(errno);
    const char* name = ptsname(run.master);
    ASSERT_NE(name, nullptr) << "ptsname: " << std::strerror(errno);
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0) << name << ": " << std::strerror(errno);

    // Raw, so that the terminal hands on zelk's bytes unchanged (no \r
    // before each \n).
    termios mode;
    const bool raw =
        tcgetattr(slave, &mode) == 0 && (cfmakeraw(&mode), tcsetattr(slave, TCSANOW, &mode) == 0);
    int in_fds[2];
    const bool piped = raw && pipe2(in_fds, O_CLOEXEC) == 0;
    if (!piped) close(slave);
    ASSERT_TRUE(raw) << "cannot make the terminal raw: " << std::strerror(errno);
    ASSERT_TRUE(piped) << "pipe2: " << std::strerror(errno);

    const std::vector<std::string> command = zelk_command({"-p"});
    std::vector<char*> argv;
    for (std::size_t i = 1; i < command.size(); ++i)
        argv.push_back(const_cast<char*>(command[i].c_str()));
    argv.push_back(nullptr);
    char* envp[] = {nullptr};
    run.pid = fork();
    if (run.pid == 0) {
        signal(SIGPIPE, SIG_DFL);
        if (dup2(in_fds[0], 0) < 0 || dup2(slave, 1) < 0 || dup2(slave, 2) < 0) _exit(126);
        execve(command[0].c_str(), argv.data(), envp);
        _exit(127);
    }
    close(slave);
    close(in_fds[0]);
    run.input = in_fds[1];
    ASSERT_GT(run.pid, 0) << "fork: " << std::strerror(errno);
}

std::string shown(const std::string& text) {
    return text.empty() ? " nothing" : ":\n\"" + text + "\"";
}

// Reads the terminal until it shows exactly `want`: at once when zelk's
// input is still open, until zelk has let go of the terminal when it is
// closed. Fails as soon as the terminal shows anything else, or when
// `patience` runs out first.
void expect_shown(terminal_run& run, const std::string& want, bool input_closed,
                  const std::string& after) {
    const auto until = steady::now() + patience;
    for (;;) {
        if (!input_closed && run.seen == want) return;
        if (!want.starts_with(run.seen))
            FAIL() << after << ", zelk's terminal should show" << shown(want) << "\nbut it showed"
                   << shown(run.seen);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - steady::now());
        if (left.count() <= 0)
            FAIL() << after << ", zelk's terminal should show" << shown(want) << "\nbut within "
                   << patience.count() << " s it showed" << shown(run.seen)
                   << (input_closed ? "" : "\n(lines held back until the input ends?)");
        pollfd p = {run.master, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(run.master, buffer, sizeof buffer);
        if (n > 0) {
            run.seen.append(buffer, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        // Nothing holds the terminal any more: zelk has ended.
        if (!input_closed)
            FAIL() << after << ", zelk ended with its input still open; its terminal showed"
                   << shown(run.seen);
        EXPECT_EQ(run.seen, want) << after << ", zelk's whole output differs";
        return;
    }
}

// The exit status of zelk once it has ended, or -1 when it has not in time.
int exit_status(terminal_run& run) {
    const auto until = steady::now() + patience;
    int status = 0;
    while (waitpid(run.pid, &status, WNOHANG) == 0) {
        if (steady::now() > until) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    run.pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST(Terminal, LinesShowAsEachChunkArrives) {
    // A chunk of one byte value is one line, then the marker for the 63
    // repeats after it; the second chunk starts its line at 0x400.
    const std::string a_lines =
        "    0000  41 41 41 41 41 41 41 41  41 41 41 41 41 41 41 41  AAAAAAAA AAAAAAAA\n"
        "       *\n";
    const std::string b_lines =
        "    0400  42 42 42 42 42 42 42 42  42 42 42 42 42 42 42 42  BBBBBBBB BBBBBBBB\n"
        "       *\n";

    terminal_run run;
    ASSERT_NO_FATAL_FAILURE(start(run));

    const std::string a(chunk_size, 'A');
    ASSERT_EQ(write(run.input, a.data(), a.size()), static_cast<ssize_t>(a.size()));
    ASSERT_NO_FATAL_FAILURE(
        expect_shown(run, a_lines, false, "After one chunk of 1024 'A' bytes, input open"));

    const std::string b(chunk_size, 'B');
    ASSERT_EQ(write(run.input, b.data(), b.size()), static_cast<ssize_t>(b.size()));
    ASSERT_NO_FATAL_FAILURE(expect_shown(run, a_lines + b_lines, false,
                                         "After a second chunk of 1024 'B' bytes, input open"));

    close(run.input);
    run.input = -1;
    ASSERT_NO_FATAL_FAILURE(
        expect_shown(run, a_lines + b_lines, true, "After the input was closed"));
    EXPECT_EQ(exit_status(run), 0)
        << "zelk's exit status (-1: still running after " << patience.count() << " s)";
}
