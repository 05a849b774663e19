// zelk at a terminal: with its input still open, the lines of each chunk of
// input show on the terminal as the chunk arrives, not when the input ends;
// a warning shows after the dump before it; a signal that ends a colour dump
// leaves the terminal's colours reset.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "dump/settings.hpp"
#include "tests/run_zelk.hpp"
#include "zelk/zelk.hpp"

using namespace zelk::detail;

namespace {

using steady = std::chrono::steady_clock;

// Long enough for a loaded machine or a sanitizer build; only a fault waits
// it out.
constexpr auto patience = std::chrono::seconds(10);

// The lines below are written for chunks of 1024 bytes: one chunk of a
// byte value is a line and a marker, and the second starts at 0x400.
static_assert(chunk_size == 0x400);

// Where zelk's standard output and standard error go. Only the rows about
// messages show standard error: an emulator may report on it how a signal
// ended the program it runs.
enum class output_to {
    terminal,        // both to the terminal
    terminal_alone,  // standard output to the terminal, standard error to /dev/null
    pipe,            // standard output to a pipe, standard error to /dev/null
};

// How zelk starts: always with a pipe that the test writes as standard input.
struct terminal_setup {
    std::vector<std::string> args = {};
    output_to output = output_to::terminal;
    int ignored = 0;       // a signal zelk starts with ignored, as under nohup (0: none)
    std::string cwd = {};  // working directory; empty for the test's own
};

// zelk started as `terminal_setup` says. Whatever happens to the test, zelk
// is killed and reaped when this goes.
struct terminal_run {
    int output = -1;   // the test's side of zelk's standard output
    int input = -1;    // write end of zelk's standard input
    pid_t pid = -1;    // zelk, until reaped
    std::string seen;  // all that zelk has shown on its output so far

    terminal_run() = default;
    terminal_run(const terminal_run&) = delete;
    terminal_run& operator=(const terminal_run&) = delete;
    ~terminal_run() {
        if (input >= 0) close(input);
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output >= 0) close(output);
    }
};

// The signals that a user ends a program with, each of which the test sends.
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Opens a pseudo-terminal, raw, so that it hands on zelk's bytes unchanged
// (no \r before each \n): the master side becomes `run.output`, the slave
// side `slave`.
void open_terminal(terminal_run& run, int& slave) {
    run.output = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(run.output, 0) << "posix_openpt: " << std::strerror(errno);
    ASSERT_EQ(fcntl(run.output, F_SETFD, FD_CLOEXEC), 0);
    ASSERT_EQ(grantpt(run.output), 0) << "grantpt: " << std::strerror(errno);
    ASSERT_EQ(unlockpt(run.output), 0) << "unlockpt: " << std::strerror(errno);
    const char* name = ptsname(run.output);
    ASSERT_NE(name, nullptr) << "ptsname: " << std::strerror(errno);
    slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(slave, 0) << name << ": " << std::strerror(errno);
    termios mode;
    const bool raw =
        tcgetattr(slave, &mode) == 0 && (cfmakeraw(&mode), tcsetattr(slave, TCSANOW, &mode) == 0);
    ASSERT_TRUE(raw) << "cannot make the terminal raw: " << std::strerror(errno);
}

// A pipe whose ends close when zelk starts (pipe2 is not everywhere; the
// test starts nothing between the calls).
bool pipe_cloexec(int fds[2]) {
    if (pipe(fds) != 0) return false;
    if (fcntl(fds[0], F_SETFD, FD_CLOEXEC) == 0 && fcntl(fds[1], F_SETFD, FD_CLOEXEC) == 0)
        return true;
    close(fds[0]);
    close(fds[1]);
    return false;
}

void start(terminal_run& run, const terminal_setup& setup) {
    // A zelk that ends early must not take the test down with a write to
    // its input.
    signal(SIGPIPE, SIG_IGN);

    int out = -1;  // zelk's standard output
    if (setup.output == output_to::pipe) {
        int fds[2];
        ASSERT_TRUE(pipe_cloexec(fds)) << "pipe: " << std::strerror(errno);
        run.output = fds[0];
        out = fds[1];
    } else {
        ASSERT_NO_FATAL_FAILURE(open_terminal(run, out));
    }
    const int err =
        setup.output == output_to::terminal ? out : open("/dev/null", O_WRONLY | O_CLOEXEC);
    int in_fds[2];
    const bool piped = err >= 0 && pipe_cloexec(in_fds);
    if (!piped) close(out);
    ASSERT_TRUE(piped) << "/dev/null or pipe: " << std::strerror(errno);

    const std::vector<std::string> command = zelk_command(setup.args);
    std::vector<char*> argv;
    for (std::size_t i = 1; i < command.size(); ++i)
        argv.push_back(const_cast<char*>(command[i].c_str()));
    argv.push_back(nullptr);
    char* envp[] = {nullptr};
    run.pid = fork();
    if (run.pid == 0) {
        // As a shell starts a job: no signal blocked, and none ignored but
        // the one asked for.
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        signal(SIGPIPE, SIG_DFL);
        for (const int s : ending_signals) signal(s, s == setup.ignored ? SIG_IGN : SIG_DFL);
        // SIGQUIT dumps core; no core file is wanted.
        const rlimit no_core = {0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        if (!setup.cwd.empty() && chdir(setup.cwd.c_str()) != 0) _exit(126);
        if (dup2(in_fds[0], 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
        execve(command[0].c_str(), argv.data(), envp);
        _exit(127);
    }
    close(out);
    if (err != out) close(err);
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
        pollfd p = {run.output, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
        char buffer[4096];
        const ssize_t n = read(run.output, buffer, sizeof buffer);
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

// zelk's endless input repeats the bytes of distinct_bytes, whose pattern
// repeats every this many bytes: its first n bytes are distinct_bytes(n).
constexpr std::size_t pattern_period = 251;

// Keeps zelk's input fed with the endless input and reads its output; each
// time another `stretch` of output has come, sends the next of `signals`.
// Then reads until zelk lets go of its output. False when patience runs out
// first.
bool dump_until_signalled(terminal_run& run, const std::vector<int>& signals) {
    constexpr std::size_t stretch = 64 * 1024;
    const std::string pattern = distinct_bytes(64 * pattern_period);
    if (fcntl(run.input, F_SETFL, O_NONBLOCK) != 0) return false;
    std::size_t fed = 0;
    std::size_t sent = 0;
    const auto until = steady::now() + patience;
    for (;;) {
        if (sent < signals.size() && run.seen.size() >= (sent + 1) * stretch)
            kill(run.pid, signals[sent++]);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - steady::now());
        if (left.count() <= 0) return false;
        pollfd p[2] = {{run.output, POLLIN, 0}, {run.input, POLLOUT, 0}};
        if (poll(p, run.input >= 0 ? 2 : 1, static_cast<int>(left.count())) <= 0) continue;
        if (p[1].revents != 0) {
            const std::size_t at = fed % pattern_period;
            const ssize_t n = write(run.input, pattern.data() + at, pattern.size() - at);
            if (n > 0) {
                fed += static_cast<std::size_t>(n);
            } else if (errno != EAGAIN && errno != EINTR) {
                close(run.input);  // zelk has ended
                run.input = -1;
            }
        }
        if (p[0].revents == 0) continue;
        char buffer[65536];
        const ssize_t n = read(run.output, buffer, sizeof buffer);
        if (n > 0)
            run.seen.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN))
            return true;  // nothing holds zelk's output any more: zelk has ended
    }
}

// The dump of the endless input as far as `size` bytes of output at least:
// the lines of whole chunks, which the lines after them leave as they are.
// Every byte of input gives more than one of output.
std::string endless_dump(std::size_t size, bool colour) {
    const std::string input = distinct_bytes((size / chunk_size + 2) * chunk_size);
    zelk::options o;
    o.colour = colour;
    return zelk::dump_to_string(std::as_bytes(std::span(input.data(), input.size())), o);
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
    ASSERT_NO_FATAL_FAILURE(start(run, {.args = {"-p"}}));

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

// The signals that end zelk in the middle of a colour dump to a terminal,
// which a write of lines can leave in a colour or inside an escape. Each
// must leave the lines written so far, then one reset, and end zelk as the
// signal would have without it; a signal that zelk started with ignored
// stays ignored. Plain output and a pipe get the lines alone.
TEST(Terminal, SignalsResetTheColoursOfTheTerminal) {
    struct row {
        const char* name;
        terminal_setup setup;
        std::vector<int> signals;  // sent in turn, each after another stretch of output
        bool reset;                // the output ends with a reset after the lines
    };
    const std::vector<row> rows = {
        {"SIGINT", {.output = output_to::terminal_alone}, {SIGINT}, true},
        {"SIGTERM", {.output = output_to::terminal_alone}, {SIGTERM}, true},
        {"SIGHUP", {.output = output_to::terminal_alone}, {SIGHUP}, true},
        {"SIGQUIT", {.output = output_to::terminal_alone}, {SIGQUIT}, true},
        {"SIGINT ignored from the start, then SIGTERM",
         {.output = output_to::terminal_alone, .ignored = SIGINT},
         {SIGINT, SIGTERM},
         true},
        {"-p, SIGINT", {.args = {"-p"}, .output = output_to::terminal_alone}, {SIGINT}, false},
        {"into a pipe, SIGINT", {.output = output_to::pipe}, {SIGINT}, false},
    };
    const std::string reset = "\033[m";
    // A lambda, so that a row's failed assertion ends that row alone.
    const auto check = [&](const row& r) {
        terminal_run run;
        ASSERT_NO_FATAL_FAILURE(start(run, r.setup));
        ASSERT_TRUE(dump_until_signalled(run, r.signals))
            << "zelk had not ended " << patience.count() << " s after it began, with "
            << run.seen.size() << " bytes of output";
        EXPECT_EQ(exit_status(run), 128 + r.signals.back())
            << "zelk's exit status (128 + the signal that ended it; -1: still running)";
        std::string lines = run.seen;
        if (r.reset) {
            ASSERT_TRUE(lines.ends_with(reset))
                << "the output should end with a reset; it ends with "
                << testing::PrintToString(
                       lines.substr(lines.size() - std::min<std::size_t>(lines.size(), 40)));
            lines.resize(lines.size() - reset.size());
        }
        const std::string dump = endless_dump(lines.size(), r.setup.args.empty());
        const auto departs = std::mismatch(lines.begin(), lines.end(), dump.begin()).first;
        const std::size_t at = static_cast<std::size_t>(departs - lines.begin());
        EXPECT_EQ(at, lines.size())
            << "the output is not the dump of the input, cut anywhere"
            << (r.reset ? ", then a reset" : "") << "; at byte " << at << " it shows "
            << testing::PrintToString(lines.substr(at, 40)) << " where the dump has "
            << testing::PrintToString(dump.substr(at, 40));
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        check(r);
    }
}

// One signal ends zelk even when its terminal takes nothing more (stopped
// with Ctrl-S, a stalled connection), where the reset could wait for ever.
TEST(Terminal, OneSignalEndsZelkOnATerminalThatTakesNothing) {
    terminal_run run;
    ASSERT_NO_FATAL_FAILURE(
        start(run, {.args = {"/dev/urandom"}, .output = output_to::terminal_alone}));
    // An endless input: time for zelk to fill the terminal, which nothing
    // reads, and wait in a write.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(run.pid, SIGTERM);
    EXPECT_EQ(exit_status(run), 128 + SIGTERM)
        << "zelk's exit status after one SIGTERM (-1: still running after " << patience.count()
        << " s)";
}

// A warning comes after the header of the operand before it, even when the
// dump of that operand read no byte: a terminal shows the two in turn.
TEST(Terminal, WarningsComeAfterTheHeaderBeforeThem) {
    temp_dir dir;
    dir.write("a", "..ABCDEFGHIJKLMNOP");
    dir.write("b", "b");
    const std::string no_file = "zelk: nosuch: No such file or directory\n";
    struct row {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        std::string shown;
    };
    const std::vector<row> rows = {
        {"empty ranges",
         {"-p", "-r", "5-5", "a", "nosuch", "b"},
         "",
         "====> a <====\n" + no_file + "\n====> b <====\n"},
        {"a pipe that ends before the range starts",
         {"-p", "-r", "2-", "a", "/dev/stdin", "nosuch"},
         "x",
         "====> a <====\n"
         "    0002  41 42 43 44 45 46 47 48  49 4a 4b 4c 4d 4e 4f 50  ABCDEFGH IJKLMNOP\n"
         "\n====> /dev/stdin <====\n" +
             no_file},
    };
    const auto check = [&](const row& r) {
        terminal_run run;
        ASSERT_NO_FATAL_FAILURE(start(run, {.args = r.args, .cwd = dir.path}));
        ASSERT_EQ(write(run.input, r.input.data(), r.input.size()),
                  static_cast<ssize_t>(r.input.size()));
        close(run.input);
        run.input = -1;
        ASSERT_NO_FATAL_FAILURE(expect_shown(run, r.shown, true, r.name));
        EXPECT_EQ(exit_status(run), 1) << "zelk's exit status (-1: still running)";
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        check(r);
    }
}
