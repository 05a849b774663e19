// Micro-benchmarks of the line layout, in input bytes per second: the
// default 16/8 lines and other widths and group sizes, plain and coloured,
// through each kernel of the table that serves them, on random bytes, text
// and machine code. Output goes to a sink that drops it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dump/line_layout.hpp"
#include "dump/output.hpp"

using namespace zelk::detail;

namespace {

constexpr std::size_t input_size = 1 << 20;

bool discard(void*, const char*, std::size_t) {
    return true;
}

std::string random_bytes() {
    std::mt19937_64 rng(1);
    std::string s(input_size, '\0');
    for (char& c : s) c = static_cast<char>(rng());
    return s;
}

// Printable ASCII in lines of 20 to 80 characters.
std::string text() {
    std::mt19937_64 rng(2);
    std::string s;
    while (s.size() < input_size) {
        const std::size_t line = 20 + rng() % 60;
        for (std::size_t i = 0; i < line; ++i) s += static_cast<char>(0x20 + rng() % 0x5f);
        s += '\n';
    }
    s.resize(input_size);
    return s;
}

// This program's own machine code, repeated to the input size; where the
// system has no /proc/self/exe (Linux's), the shell's.
std::string machine_code() {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    if (!in) in.open("/bin/sh", std::ios::binary);
    const std::string self{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string s;
    while (!self.empty() && s.size() < input_size) s += self;
    s.resize(input_size);
    return s;
}

void lay_out(benchmark::State& state, const std::string& input, dump_settings s,
             const line_kernel* kernel) {
    if (!runs_on(*kernel, usable_cpu_features())) {
        state.SkipWithError("this CPU lacks what the kernel needs");
        return;
    }
    const line_plan plan = make_line_plan(s);
    const lines_routine routine = choose_kernel(plan, kernel).routine;
    const auto out = std::make_unique<output>();
    output_open(*out, discard, nullptr);
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    for (auto _ : state) {
        repeat_state repeats;
        for (std::size_t c = 0; c < input.size(); c += chunk_size)
            write_chunk(*out, plan, routine, repeats, bytes + c,
                        std::min(chunk_size, input.size() - c), c);
        output_flush(*out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::pair<const char*, std::string>> inputs = {
        {"random", random_bytes()}, {"text", text()}, {"code", machine_code()}};
    struct layout {
        const char* name;
        std::uint64_t width, group;
    };
    const layout layouts[] = {{"16x8", 16, 8}, {"32x8", 32, 8}, {"16x4", 16, 4},
                              {"8x4", 8, 4},   {"20x5", 20, 5}, {"7x3", 7, 3}};
    for (const auto& [input_name, input] : inputs) {
        for (const layout& l : layouts) {
            for (bool colour : {false, true}) {
                for (const line_kernel* kernel : line_kernels()) {
                    dump_settings s;
                    s.width = l.width;
                    s.group_size = l.group;
                    s.colour = colour;
                    // A kernel that leaves the layout to the generic one is
                    // not measured for it.
                    if (runs_on(*kernel, usable_cpu_features()) &&
                        choose_kernel(make_line_plan(s), kernel).kernel != kernel)
                        continue;
                    const std::string name = std::string(l.name) +
                                             (colour ? "/colour/" : "/plain/") + kernel->name +
                                             "/" + input_name;
                    benchmark::RegisterBenchmark(name.c_str(), lay_out, std::cref(input), s,
                                                 kernel);
                }
            }
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
