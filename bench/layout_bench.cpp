// Micro-benchmarks of the line layout, in input bytes per second: the
// default 16/8 lines and a generic width and group size, plain and coloured,
// through each SIMD level the CPU has, on random bytes, text and machine
// code. Output goes to a sink that drops it.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "dump/dump_stream.hpp"
#include "dump/line_layout.hpp"
#include "dump/output.hpp"

namespace {

constexpr std::size_t input_size = 1 << 20;

void discard(const char*, std::size_t) {}

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

// This program's own machine code, repeated to the input size.
std::string machine_code() {
    std::ifstream in("/proc/self/exe", std::ios::binary);
    const std::string self{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::string s;
    while (!self.empty() && s.size() < input_size) s += self;
    s.resize(input_size);
    return s;
}

void lay_out(benchmark::State& state, const std::string& input, dump_settings s, simd_level simd) {
    line_plan plan = make_line_plan(s);
    if (simd > plan.simd) {
        state.SkipWithError("the CPU lacks this SIMD level");
        return;
    }
    plan.simd = simd;
    set_output_sink(discard);
    const auto* bytes = reinterpret_cast<const unsigned char*>(input.data());
    for (auto _ : state) {
        repeat_state repeats;
        for (std::size_t c = 0; c < input.size(); c += 1024)
            write_lines(plan, repeats, bytes + c, 1024, c);
        output_flush();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * input.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::pair<const char*, std::string>> inputs = {
        {"random", random_bytes()}, {"text", text()}, {"code", machine_code()}};
    const std::pair<const char*, simd_level> levels[] = {
        {"scalar", simd_level::none}, {"ssse3", simd_level::ssse3}, {"avx512", simd_level::avx512}};
    struct layout {
        const char* name;
        std::uint64_t width, group;
    };
    const layout layouts[] = {{"16x8", 16, 8}, {"20x5", 20, 5}, {"32x4", 32, 4}};
    for (const auto& [input_name, input] : inputs) {
        for (const layout& l : layouts) {
            for (bool colour : {false, true}) {
                for (const auto& [level_name, level] : levels) {
                    // The other layouts have no SIMD routines.
                    if (l.width != 16 && level != simd_level::none) continue;
                    dump_settings s;
                    s.width = l.width;
                    s.group_size = l.group;
                    s.colour = colour;
                    const std::string name = std::string(l.name) +
                                             (colour ? "/colour/" : "/plain/") + level_name + "/" +
                                             input_name;
                    benchmark::RegisterBenchmark(name.c_str(), lay_out, std::cref(input), s, level);
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
