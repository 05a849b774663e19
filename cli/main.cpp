// zelk: hex dump of standard input or of each named file.
#include <err.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/colour_variable.hpp"
#include "cli/dump_stream.hpp"
#include "cli/range.hpp"
#include "cli/shown_name.hpp"
#include "zelk/zelk.hpp"

namespace {

// glibc permutes arguments unless told otherwise; scanning must stop at the
// first operand, so "zelk file -p" names two files.
#ifdef __GLIBC__
constexpr const char* option_string = "+g:pr:w:";
#else
constexpr const char* option_string = "g:pr:w:";
#endif

[[noreturn]] void usage() {
    std::fputs("usage: zelk [-p] [-g groupsize] [-r range] [-w width]\n", stderr);
    std::exit(1);
}

// Like atol, but a value too large for a long saturates instead of
// overflowing; a negative value wraps into the unsigned count.
std::uint64_t count_argument(const char* text) {
    return static_cast<std::uint64_t>(std::strtol(text, nullptr, 10));
}

// The dumper's output goes out in writes of 128 KiB. A pipe of the usual
// 64 KiB holds less than one, so each write waits for the reader to empty it
// and the two take turns instead of working at once. With room for two
// writes, one is laid out while the reader takes the other: measured, a dump
// then moves through a pipe about twice as fast. Where the pipe cannot grow,
// or output is no pipe, nothing changes. The first write can come between a
// failed read and its report, so errno is kept for that report whatever
// happens here.
void widen_pipe() {
#ifdef F_SETPIPE_SZ
    constexpr int two_writes = 2 * 128 * 1024;
    const int saved = errno;
    struct stat st;
    if (fstat(STDOUT_FILENO, &st) == 0 && S_ISFIFO(st.st_mode)) {
        const int size = fcntl(STDOUT_FILENO, F_GETPIPE_SZ);
        if (size >= 0 && size < two_writes) fcntl(STDOUT_FILENO, F_SETPIPE_SZ, two_writes);
    }
    errno = saved;
#endif
}

// Set once the first write has widened the pipe, if output is one.
bool pipe_widened = false;

// The dumper's sink: standard output, where a failed write ends the process
// with "stdout" and the system's error text, so it never stops the dump.
bool write_stdout(void*, const char* data, std::size_t size) {
    if (!pipe_widened) {
        pipe_widened = true;
        widen_pipe();
    }
    while (size > 0) {
        ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0 && errno == EINTR) continue;
        // A write that takes nothing leaves no error to report, and making
        // it again would take nothing for ever: the device has no room.
        if (n == 0) errno = ENOSPC;
        if (n <= 0) err(1, "stdout");
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// The escapes of a file header's name: bold, and the reset after it.
constexpr const char* bold = "\033[1m";
constexpr char reset[] = "\033[m";

// The signals that end zelk, by default, as a user stops it.
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// A signal can end zelk in the middle of a write of coloured lines, leaving
// the terminal in a colour, or inside an escape that swallows what comes
// next. The reset's ESC ends a cut escape and the reset then ends the
// colour; the signal, whose action went back to the default as the handler
// was entered, is raised again so that zelk still ends by it. A terminal
// that takes nothing for a second (stopped with Ctrl-S, a stalled
// connection) gets no reset: the signal must end zelk all the same.
void reset_and_end(int signal_number) {
    const int saved = errno;
    pollfd room = {STDOUT_FILENO, POLLOUT, 0};
    if (poll(&room, 1, 1000) == 1 && (room.revents & POLLOUT) != 0) {
        [[maybe_unused]] const ssize_t ignored = ::write(STDOUT_FILENO, reset, sizeof reset - 1);
    }
    raise(signal_number);
    errno = saved;
}

// On a terminal, a signal that ends zelk first resets the terminal's
// colours; into a pipe or a file the output stays the bytes written. The
// action goes back to the default on entry, and the signal is not blocked
// meanwhile, so a second one ends zelk even while the reset waits for a
// stopped terminal. A signal ignored when zelk started (nohup, a background
// job's SIGINT) stays ignored.
void reset_terminal_on_signals() {
    struct sigaction action = {};
    action.sa_handler = reset_and_end;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (const int signal_number : ending_signals) {
        struct sigaction before;
        if (sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal_number, &action, nullptr);
    }
}

// Standard output, when it is a regular file. An input that is that same
// file would be read while its own dump is appended to it, and grow for as
// long as the disk has room.
struct stat output_file;
bool output_is_file = false;

// What an open input is, as far as the run cares, told by one fstat. A
// directory opens for reading but fails at the first read; told apart right
// after opening, it is passed over like a file that fails to open instead of
// ending the run. Other kinds of file are read as they come.
enum class input_kind { readable, directory, output_file };

input_kind kind_of(int fd) {
    struct stat input;
    if (fstat(fd, &input) != 0) return input_kind::readable;
    if (S_ISDIR(input.st_mode)) return input_kind::directory;
    if (output_is_file && S_ISREG(input.st_mode) && input.st_dev == output_file.st_dev &&
        input.st_ino == output_file.st_ino)
        return input_kind::output_file;
    return input_kind::readable;
}

// The buffer of standard error. Unbuffered, the C library (glibc) would
// format every message into a buffer of BUFSIZ bytes on the stack, the
// deepest frame of a run; line-buffered, each message still goes out whole
// as soon as it ends.
char message_buffer[BUFSIZ];

}  // namespace

int main(int argc, char* argv[]) {
    std::setvbuf(stderr, message_buffer, _IOLBF, sizeof message_buffer);
    const char* width_text = nullptr;  // the last -w argument, for its error message
    zelk::options settings;
    byte_range range = {0, -1};
    int option;
    while ((option = getopt(argc, argv, option_string)) != -1) {
        switch (option) {
            case 'g':
                settings.group_size = count_argument(optarg);
                break;
            case 'p':
                settings.colour = false;
                break;
            case 'r':
                range = parse_range(optarg);
                break;
            case 'w':
                settings.width = count_argument(optarg);
                width_text = optarg;
                break;
            default:
                usage();
        }
    }
    if (settings.width < 1 || settings.width > zelk::max_width)
        errx(1, "invalid width %s: must be 1 to %llu", width_text,
             static_cast<unsigned long long>(zelk::max_width));

    // Before the first byte goes out, so that no write can be cut unseen.
    if (settings.colour && isatty(STDOUT_FILENO)) reset_terminal_on_signals();

    const auto colour_copy = apply_colour_variable(settings.colours);
    zelk::dumper d(settings, write_stdout, nullptr);
    if (d.status() != zelk::errc::ok) errx(1, "out of memory");
    output_is_file = fstat(STDOUT_FILENO, &output_file) == 0 && S_ISREG(output_file.st_mode);

    const int operands = argc - optind;
    bool skipped = false;  // an operand was reported and left out; the run fails
    if (operands == 0) {
        if (kind_of(STDIN_FILENO) == input_kind::output_file) {
            warnx("%s: input file is output file", "(stdin)");
            skipped = true;
        } else {
            dump_stream(d, stdin, "(stdin)", range);
        }
    } else {
        for (int i = optind; i < argc; ++i) {
            std::FILE* stream = std::fopen(argv[i], "r");
            const input_kind kind =
                stream != nullptr ? kind_of(fileno(stream)) : input_kind::readable;
            if (kind == input_kind::directory) {
                std::fclose(stream);
                stream = nullptr;
                errno = EISDIR;
            }
            // Opened, the path is needed no more: the operand becomes, in
            // place, the name that headers and messages show (never longer,
            // so a name of any length fits). errno stays as it was.
            char* const name = argv[i];
            const std::size_t name_length = shown_name(name, std::strlen(name), name);
            name[name_length] = '\0';
            if (stream == nullptr) {
                warn("%s", name);
                skipped = true;
                continue;
            }
            if (kind == input_kind::output_file) {
                std::fclose(stream);
                warnx("%s: input file is output file", name);
                skipped = true;
                continue;
            }
            if (operands >= 2) {
                d.write_text(i == optind ? "====> " : "\n====> ");
                d.write_text(settings.colour ? bold : "");
                d.write_text({name, name_length});
                d.write_text(settings.colour ? reset : "");
                d.write_text(" <====\n");
            }
            dump_stream(d, stream, name, range);
            std::fclose(stream);
        }
    }
    d.finish();
    return skipped ? 1 : 0;
}
