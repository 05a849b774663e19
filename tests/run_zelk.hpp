// Runs the built zelk binary as a user would and captures what it did. The
// environment variable ZELK_TEST_BINARY, where set, names another zelk to
// run instead (built for the same CPU), such as a statically linked one.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct zelk_run {
    std::string out;
    std::string err;
    int status = -1;         // exit status, or 128 + signal number
    long peak_rss_kib = -1;  // peak resident memory of zelk, with measure_memory
    long shim_changes = -1;  // with shim: how many reads and writes the shim changed
};

// How standard input reaches zelk.
enum class input_kind { file, pipe, none };

struct zelk_call {
    std::vector<std::string> args;  // after argv[0]
    std::string input;              // standard input bytes
    input_kind stdin_kind = input_kind::file;
    std::vector<std::string> env;  // NAME=VALUE added to a clean environment
    std::string cwd;               // working directory; empty for the current one
    std::string stdin_path;        // read stdin from here instead of `input`
    std::string stdout_path;       // write stdout here instead of capturing it
    bool append_stdout = false;    // open stdout_path for appending, as ">>" does
    std::size_t input_repeat = 1;  // a piped `input` is written this many times
    bool ignore_sigpipe = false;   // start zelk with SIGPIPE ignored, as some parents do
    // When set, standard output is a pipe and this reads it from the given
    // descriptor; what it returns becomes `out`. The pipe is closed when it
    // returns, so returning early leaves zelk without a reader.
    std::function<std::string(int fd)> read_stdout;
    // Runs zelk under a small launcher that reports its peak resident memory;
    // measured from the test process itself, the figure would start at the
    // size of the test process, which the forked child inherits.
    bool measure_memory = false;
    // When set, zelk's reads and writes go through tests/io_shim.cpp, which
    // misbehaves in this mode (see there).
    std::string shim;
    // When not 0, zelk starts with its stack limited to this many KiB, as
    // `ulimit -s` would limit it.
    unsigned stack_kib = 0;
    // When not 0, zelk is killed after this many seconds of processor time
    // (SIGXCPU), so that a zelk that loops for ever dies even when the test
    // that waits for it is stopped first, and holds no CPU after it.
    unsigned cpu_seconds = 0;
};

zelk_run run_zelk(const zelk_call& call);

// Whether zelk runs through an emulator (a cross build's tests), which has
// its own stack and limits of its own.
bool runs_emulated();

// Why zelk cannot be run with tests/io_shim preloaded (zelk_call::shim), or
// nullptr where it can. Tests that need the shim skip with this reason.
const char* why_no_preload();

// The words that start the built zelk (argv[0] "zelk"; through the
// emulator in a cross build) with `args`; the first is the file to exec.
std::vector<std::string> zelk_command(const std::vector<std::string>& args);

// The common case: arguments and standard input, in a clean environment.
zelk_run run_zelk(std::vector<std::string> args, std::string input = {},
                  input_kind stdin_kind = input_kind::file);

// A fresh temporary directory, removed with everything in it by the destructor.
struct temp_dir {
    std::string path;
    temp_dir();
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;
    // Writes `bytes` to the file `name` inside the directory; returns its path.
    std::string write(const std::string& name, const std::string& bytes) const;
};

std::string read_file(const std::string& path);

// `size` bytes in which no 16-byte line repeats the one before it (byte i is
// i * 7 % 251), so nothing collapses into a marker line.
std::string distinct_bytes(std::size_t size);

// Standard input as a file and again through a pipe, which cannot seek: for
// rows where how the input arrives matters.
inline const std::vector<input_kind> file_and_pipe = {input_kind::file, input_kind::pipe};

// One row of a table of runs: the arguments, environment and standard input,
// and exactly what zelk must write and return.
struct expected_run {
    const char* name;
    std::vector<std::string> args;
    std::string out;
    std::string err;
    int status;
    std::vector<std::string> env = {};
    std::string input = {};
    // Each way the input reaches standard input; every one must give the
    // result above.
    std::vector<input_kind> stdin_kinds = {input_kind::file};
};

// Runs the row in `cwd` (empty for the current directory) and checks stdout,
// stderr and the status. The row words errors as glibc's strerror does; where
// another C library words one differently (musl: "I/O error"), zelk's
// message may have that wording instead (run_zelk.cpp lists them).
void expect_run(const expected_run& row, const std::string& cwd = {});

// Runs the arguments with `input` as a file on standard input and again
// through a pipe; both must give the same result, which is returned.
zelk_run run_file_and_pipe(const std::vector<std::string>& args, const std::string& input);
