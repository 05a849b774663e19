#include "tests/run_zelk.hpp"

#if __has_include(<elf.h>)
#include <elf.h>  // Linux and the BSDs: programs are ELF files
#define ZELK_TEST_READS_ELF 1
#endif
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

namespace {

// False when the reader went away early; that is its business.
bool write_all(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

#ifndef ZELK_EMULATOR
#define ZELK_EMULATOR
#endif
// The command line that runs a program built for another CPU, such as
// qemu-user and its options; empty when the tests run natively. The emulator
// is named by its path, as the environment the programs start with is empty.
const std::vector<const char*> emulator = {ZELK_EMULATOR};

// Appends to `argv` the words that start `binary` with `name` as its argv[0]
// and returns the file to exec: the binary itself, or the emulator given
// `emulator_options`, the binary and, where the emulator has an option for
// it, the name.
const char* start(std::vector<char*>& argv, const char* binary, const char* name,
                  const std::vector<const char*>& emulator_options = {}) {
    if (emulator.empty()) {
        argv.push_back(const_cast<char*>(name));
        return binary;
    }
    for (const char* word : emulator) argv.push_back(const_cast<char*>(word));
    for (const char* word : emulator_options) argv.push_back(const_cast<char*>(word));
#ifdef ZELK_EMULATOR_ARGV0
    argv.push_back(const_cast<char*>(ZELK_EMULATOR_ARGV0));
    argv.push_back(const_cast<char*>(name));
#endif
    argv.push_back(const_cast<char*>(binary));
    return emulator[0];
}

// The zelk that the end-to-end tests start: the one this build made, or the
// one that ZELK_TEST_BINARY names, such as a statically linked release
// build for the same CPU, so that a built suite can check another binary.
const char* zelk_binary() {
    static const char* const binary = [] {
        const char* other = std::getenv("ZELK_TEST_BINARY");
        return other != nullptr && *other != '\0' ? other : ZELK_BINARY;
    }();
    return binary;
}

#ifdef ZELK_TEST_READS_ELF
// Whether the ELF program at `path` names a program interpreter (the
// dynamic loader, which is what reads LD_PRELOAD). A statically linked
// program, static-pie included, names none. Read by hand, since the
// program may be built for another CPU, of the other word size or byte
// order. Anything that is not a readable ELF file counts as naming one.
bool names_interpreter(const std::string& path) {
    const std::string elf = read_file(path);
    if (elf.size() < sizeof(Elf64_Ehdr) || elf.compare(0, SELFMAG, ELFMAG) != 0) return true;
    const bool wide = elf[EI_CLASS] == ELFCLASS64;
    const bool big_endian = elf[EI_DATA] == ELFDATA2MSB;
    bool in_file = true;
    // The unsigned field of `size` bytes at `at`, in the file's byte order.
    auto field = [&](std::uint64_t at, std::size_t size) {
        std::uint64_t value = 0;
        if (at > elf.size() || elf.size() - at < size) {
            in_file = false;
            return value;
        }
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t byte = big_endian ? i : size - 1 - i;
            value = value << 8 | static_cast<unsigned char>(elf[at + byte]);
        }
        return value;
    };
    const std::uint64_t table =
        wide ? field(offsetof(Elf64_Ehdr, e_phoff), 8) : field(offsetof(Elf32_Ehdr, e_phoff), 4);
    const std::uint64_t entry_size =
        field(wide ? offsetof(Elf64_Ehdr, e_phentsize) : offsetof(Elf32_Ehdr, e_phentsize), 2);
    const std::uint64_t entries =
        field(wide ? offsetof(Elf64_Ehdr, e_phnum) : offsetof(Elf32_Ehdr, e_phnum), 2);
    // p_type is the first field of an entry in both word sizes.
    for (std::uint64_t i = 0; i < entries && in_file; ++i)
        if (field(table + i * entry_size, 4) == PT_INTERP) return true;
    return !in_file;
}
#endif

}  // namespace

bool runs_emulated() {
    return !emulator.empty();
}

const char* why_no_preload() {
#ifdef ZELK_TEST_READS_ELF
    static const bool loader = names_interpreter(zelk_binary());
    return loader ? nullptr
                  : "zelk is linked statically: no dynamic loader reads LD_PRELOAD, "
                    "so tests/io_shim cannot be put into it";
#else
    // Such as macOS, whose loader reads DYLD_INSERT_LIBRARIES instead.
    return "programs here are not ELF files, whose loader reads LD_PRELOAD, "
           "so tests/io_shim cannot be put into zelk";
#endif
}

std::vector<std::string> zelk_command(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    const char* program = start(argv, zelk_binary(), "zelk");
    std::vector<std::string> words = {program};
    words.insert(words.end(), argv.begin(), argv.end());
    words.insert(words.end(), args.begin(), args.end());
    return words;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

temp_dir::temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zelk-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path = pattern;
}

temp_dir::~temp_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string temp_dir::write(const std::string& name, const std::string& bytes) const {
    std::string file = path + "/" + name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

zelk_run run_zelk(const zelk_call& call) {
    signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not kill the test
    temp_dir scratch;
    const std::string out_path =
        call.stdout_path.empty() ? scratch.path + "/out" : call.stdout_path;
    const std::string err_path = scratch.path + "/err";
    const std::string rss_path = scratch.path + "/rss";
    const std::string in_path = scratch.write("in", call.input);

    int pipe_fds[2] = {-1, -1};
    if (call.stdin_kind == input_kind::pipe && pipe(pipe_fds) != 0)
        throw std::runtime_error("pipe");
    int out_fds[2] = {-1, -1};
    if (call.read_stdout && pipe(out_fds) != 0) throw std::runtime_error("pipe");

    std::vector<std::string> env_strings = call.env;
    // CPU features taken away from what the C library reports, for the run
    // of the tests, are taken away from zelk too: it then lays out its
    // lines by the kernel that such a CPU gets.
    if (const char* tunables = std::getenv("GLIBC_TUNABLES"))
        env_strings.push_back(std::string("GLIBC_TUNABLES=") + tunables);
    const std::string shim_log = scratch.path + "/shim";
    // The shim must reach zelk, not the emulator that runs it: an emulator
    // such as qemu-user, itself a program of this machine, is given the
    // variable for the program alone through its option for that. Without
    // an emulator, or one without such an option, it goes in the environment.
    std::vector<const char*> emulator_options;
    const std::string preload = "LD_PRELOAD=" + std::string(ZELK_IO_SHIM);
    if (!call.shim.empty()) {
        // The test would pass without the shim ever running.
        if (const char* why = why_no_preload()) ADD_FAILURE() << why << "; the test must skip";
#ifdef ZELK_EMULATOR_SETENV
        emulator_options = {ZELK_EMULATOR_SETENV, preload.c_str()};
#else
        env_strings.push_back(preload);
#endif
        env_strings.push_back("ZELK_SHIM=" + call.shim);
        env_strings.push_back("ZELK_SHIM_LOG=" + shim_log);
        // AddressSanitizer refuses to run after a preloaded library unless
        // told that this is meant.
        env_strings.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
    }
    std::vector<char*> argv;
    const char* program = nullptr;
    if (call.measure_memory) {
        program = start(argv, PEAK_RSS_BINARY, "peak_rss");
        argv.push_back(const_cast<char*>(rss_path.c_str()));
        // What peak_rss execs, then its argv.
        argv.push_back(const_cast<char*>(emulator.empty() ? zelk_binary() : emulator[0]));
        start(argv, zelk_binary(), "zelk");
    } else {
        program = start(argv, zelk_binary(), "zelk", emulator_options);
    }
    for (const auto& a : call.args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        signal(SIGPIPE, call.ignore_sigpipe ? SIG_IGN : SIG_DFL);
        int in = -1;
        if (!call.stdin_path.empty()) {
            in = open(call.stdin_path.c_str(), O_RDONLY);
        } else if (call.stdin_kind == input_kind::pipe) {
            in = pipe_fds[0];
            close(pipe_fds[1]);
        } else if (call.stdin_kind == input_kind::file) {
            in = open(in_path.c_str(), O_RDONLY);
        } else {
            in = open("/dev/null", O_RDONLY);
        }
        int out = -1;
        if (call.read_stdout) {
            out = out_fds[1];
            close(out_fds[0]);
        } else {
            out = open(out_path.c_str(),
                       O_WRONLY | O_CREAT | (call.append_stdout ? O_APPEND : O_TRUNC), 0644);
        }
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || err < 0) _exit(126);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (!call.cwd.empty() && chdir(call.cwd.c_str()) != 0) _exit(126);
        if (call.stack_kib != 0) {
            struct rlimit stack;
            if (getrlimit(RLIMIT_STACK, &stack) != 0) _exit(126);
            stack.rlim_cur = rlim_t{call.stack_kib} * 1024;
            if (setrlimit(RLIMIT_STACK, &stack) != 0) _exit(126);
        }
        if (call.cpu_seconds != 0) {
            // Past the soft limit SIGXCPU, past the hard one SIGKILL.
            const struct rlimit cpu = {rlim_t{call.cpu_seconds}, rlim_t{call.cpu_seconds} + 1};
            if (setrlimit(RLIMIT_CPU, &cpu) != 0) _exit(126);
        }
        execve(program, argv.data(), envp.data());
        _exit(127);
    }

    // The input is fed from a thread, so that a test reading standard output
    // and zelk writing it never wait on each other.
    std::thread feeder;
    if (call.stdin_kind == input_kind::pipe) {
        close(pipe_fds[0]);
        feeder = std::thread([&call, fd = pipe_fds[1]] {
            for (std::size_t i = 0; i < call.input_repeat; ++i)
                if (!write_all(fd, call.input)) break;
            close(fd);
        });
    }
    zelk_run result;
    if (call.read_stdout) {
        close(out_fds[1]);
        result.out = call.read_stdout(out_fds[0]);
        close(out_fds[0]);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (feeder.joinable()) feeder.join();

    if (!call.read_stdout && call.stdout_path.empty()) result.out = read_file(out_path);
    result.err = read_file(err_path);
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    if (call.measure_memory)
        result.peak_rss_kib = std::strtol(read_file(rss_path).c_str(), nullptr, 10);
    if (!call.shim.empty()) result.shim_changes = static_cast<long>(read_file(shim_log).size());
    return result;
}

zelk_run run_zelk(std::vector<std::string> args, std::string input, input_kind stdin_kind) {
    zelk_call call;
    call.args = std::move(args);
    call.input = std::move(input);
    call.stdin_kind = stdin_kind;
    return run_zelk(call);
}

namespace {

// The errors whose description C libraries word differently, as
// {the tables' wording (glibc's, also the BSDs'), musl's}: zelk says what
// its own C library's strerror says.
constexpr std::pair<std::string_view, std::string_view> error_wordings[] = {
    {"Input/output error", "I/O error"},
    {"File name too long", "Filename too long"},
};

// `err` with each line that ends in another C library's wording of an error
// ending in the tables' wording instead.
std::string in_tables_wording(std::string err) {
    for (const auto& [tables, other] : error_wordings) {
        const std::string from = ": " + std::string(other) + "\n";
        const std::string to = ": " + std::string(tables) + "\n";
        for (std::size_t at = err.find(from); at != std::string::npos;
             at = err.find(from, at + to.size()))
            err.replace(at, from.size(), to);
    }
    return err;
}

}  // namespace

void expect_run(const expected_run& row, const std::string& cwd) {
    for (input_kind kind : row.stdin_kinds) {
        zelk_call call;
        call.args = row.args;
        call.env = row.env;
        call.cwd = cwd;
        call.input = row.input;
        call.stdin_kind = kind;
        zelk_run r = run_zelk(call);
        const char* from = kind == input_kind::pipe ? " (through a pipe)" : "";
        EXPECT_EQ(r.out, row.out) << row.name << from;
        EXPECT_EQ(in_tables_wording(r.err), row.err) << row.name << from;
        EXPECT_EQ(r.status, row.status) << row.name << from;
    }
}

zelk_run run_file_and_pipe(const std::vector<std::string>& args, const std::string& input) {
    zelk_run from_file = run_zelk(args, input, input_kind::file);
    zelk_run from_pipe = run_zelk(args, input, input_kind::pipe);
    EXPECT_EQ(from_file.out, from_pipe.out);
    EXPECT_EQ(from_file.err, from_pipe.err);
    EXPECT_EQ(from_file.status, from_pipe.status);
    return from_file;
}

std::string distinct_bytes(std::size_t size) {
    std::string s;
    for (std::size_t i = 0; i < size; ++i) s += static_cast<char>(i * 7 % 251);
    return s;
}
