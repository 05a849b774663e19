// zelk::dumper as another program uses it: the same lines as the reference
// renderer however the input is split, dumpers independent of each other,
// and errors as values.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tests/in_memory.hpp"
#include "tests/reference_layout.hpp"
#include "zelk/zelk.hpp"

namespace {

std::span<const std::byte> bytes_of(std::string_view s) {
    return std::as_bytes(std::span(s.data(), s.size()));
}

// Input with what makes dumps differ: runs of repeated lines, every class,
// bytes shown by two- and three-byte glyphs.
std::string varied_input(std::size_t size) {
    std::mt19937_64 rng(99);
    std::string s;
    while (s.size() < size) {
        switch (rng() % 4) {
            case 0:
                s.append(40 + rng() % 200, '\0');
                break;
            case 1:
                for (int i = 0; i < 100; ++i) s += static_cast<char>(rng());
                break;
            case 2:
                s += "Hello, world!\n\x80\x81\xa0\xff\x7f\x01";
                break;
            default:
                s.append(1 + rng() % 70, static_cast<char>(rng()));
        }
    }
    s.resize(size);
    return s;
}

// The sizes of the writes of one split of `size` bytes: 0 for all at once.
std::vector<std::size_t> split_sizes(std::size_t split, std::size_t size, std::mt19937_64& rng) {
    std::vector<std::size_t> sizes;
    for (std::size_t at = 0; at < size;) {
        std::size_t n = split == 0 ? size : split;
        if (split == SIZE_MAX) n = rng() % 3000;  // random, a write of none among them
        n = std::min(n, size - at);
        sizes.push_back(n);
        at += n;
    }
    return sizes;
}

// What a dumper with `o` writes for `input` in writes of `sizes`.
std::string dump_in_writes(const zelk::options& o, std::string_view input,
                           const std::vector<std::size_t>& sizes) {
    std::string out;
    zelk::dumper d(o, append_to_string, &out);
    std::size_t at = 0;
    for (std::size_t n : sizes) {
        const zelk::result r = d.write(bytes_of(input.substr(at, n)));
        at += n;
        EXPECT_EQ(r.error, zelk::errc::ok);
        EXPECT_EQ(r.bytes, at);
    }
    const zelk::result r = d.finish();
    EXPECT_EQ(r.error, zelk::errc::ok);
    EXPECT_EQ(r.bytes, input.size());
    return out;
}

}  // namespace

TEST(Library, SameLinesHoweverTheWritesSplitTheInput) {
    const std::string input = varied_input(5000);
    const std::size_t splits[] = {0, 1, 1023, 1024, 1025, SIZE_MAX};
    const struct {
        std::uint64_t width, group;
    } layouts[] = {{16, 8}, {8, 4}, {7, 3}, {32, 0}, {1, 0}, {2048, 8}};
    const std::uint64_t offsets[] = {0, 1023, (std::uint64_t{1} << 32) - 16,
                                     std::uint64_t{1} << 40};
    std::mt19937_64 rng(5);
    for (std::size_t split : splits) {
        for (const auto& layout : layouts) {
            for (int colours : {0, 1, 2}) {  // plain, default colours, others
                for (std::uint64_t offset : offsets) {
                    test_settings s;
                    s.width = layout.width;
                    s.group_size = layout.group;
                    s.colour = colours != 0;
                    if (colours == 2) s.colours = {"1;31", "", "38;5;238;1;4", "7", "1"};
                    zelk::options o = options_of(s);
                    o.first_offset = offset;
                    SCOPED_TRACE(::testing::Message() << "split " << split << ", width " << s.width
                                                      << ", group " << s.group_size << ", colours "
                                                      << colours << ", offset " << offset);
                    const std::string got = dump_in_writes(o, input, split_sizes(split, 5000, rng));
                    ASSERT_TRUE(got == reference_lines(input, offset, s));
                }
            }
        }
    }
}

// A dump is the command line's: dump_to_string, a dumper used again after
// finish(), and one dump after another with next_dump() and text between.
TEST(Library, DumpsOneAfterAnother) {
    const std::string a = varied_input(3000);
    const std::string b = "zelk\n";
    zelk::options o;
    o.colour = false;
    test_settings s;
    s.colour = false;
    EXPECT_EQ(zelk::dump_to_string(bytes_of(a), o), reference_lines(a, 0, s));
    EXPECT_EQ(zelk::dump_to_string({}, o), "");

    std::string out;
    zelk::dumper d(o, append_to_string, &out);
    d.write(bytes_of(a));
    d.finish();
    d.write(bytes_of(b));
    d.write_text("--\n");  // b waits for the rest of its line: the text comes first
    EXPECT_EQ(d.next_dump(0x10).bytes, b.size());
    d.write(bytes_of(b));
    EXPECT_EQ(d.finish().bytes, b.size());
    EXPECT_EQ(out, reference_lines(a, 0, s) + "--\n" + reference_lines(b, 0, s) +
                       reference_lines(b, 0x10, s));

    // A dumper moved from has nothing to dump with; the one moved to goes on.
    out.clear();
    zelk::dumper moved(std::move(d));
    EXPECT_EQ(d.status(), zelk::errc::out_of_memory);
    EXPECT_EQ(d.write(bytes_of(b)).error, zelk::errc::out_of_memory);
    moved.write(bytes_of(b));
    moved.finish();
    EXPECT_EQ(out, reference_lines(b, 0, s));

    // Assigned onto a dumper that has a dump of its own (whose state the
    // sanitizer build would report as leaked), and onto itself.
    std::string other_out;
    zelk::dumper other(o, append_to_string, &other_out);
    other.write(bytes_of(a));
    out.clear();
    other = std::move(moved);
    EXPECT_EQ(moved.status(), zelk::errc::out_of_memory);
    auto& same = other;
    other = std::move(same);
    other.write(bytes_of(b));
    other.finish();
    EXPECT_EQ(out, reference_lines(b, 0, s));
    EXPECT_EQ(other_out, "");  // its dump ended unfinished, as a dumper destroyed
}

// Dumpers share nothing: four at once in four threads write what each
// writes alone.
TEST(Library, DumpersInThreadsAreIndependent) {
    struct job {
        zelk::options options;
        std::string input;
        std::string alone, together;
    };
    std::vector<job> jobs(4);
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        jobs[i].options.width = 4 + 11 * i;
        jobs[i].options.colour = i % 2 == 0;
        jobs[i].options.first_offset = i << 20;
        jobs[i].input = varied_input(300000 + 1000 * i);
    }
    auto run = [](job& j, std::string& into) {
        zelk::dumper d(j.options, append_to_string, &into);
        for (std::size_t at = 0; at < j.input.size(); at += 777)
            d.write(bytes_of(std::string_view(j.input).substr(at, 777)));
        d.finish();
    };
    for (job& j : jobs) run(j, j.alone);
    std::vector<std::thread> threads;
    for (job& j : jobs) threads.emplace_back(run, std::ref(j), std::ref(j.together));
    for (std::thread& t : threads) t.join();
    for (const job& j : jobs) {
        EXPECT_FALSE(j.alone.empty());
        EXPECT_TRUE(j.together == j.alone) << "width " << j.options.width;
    }
}

TEST(Library, RefusedWidthsWriteNothing) {
    for (std::uint64_t width : {std::uint64_t{0}, zelk::max_width + 1, UINT64_MAX}) {
        int calls = 0;
        const zelk::sink counting = [](void* context, const char*, std::size_t) {
            ++*static_cast<int*>(context);
            return true;
        };
        zelk::options o;
        o.width = width;
        zelk::dumper d(o, counting, &calls);
        EXPECT_EQ(d.status(), zelk::errc::invalid_width) << width;
        EXPECT_EQ(d.write(bytes_of("abc")).error, zelk::errc::invalid_width) << width;
        EXPECT_EQ(d.write_text("abc").error, zelk::errc::invalid_width) << width;
        EXPECT_EQ(d.flush().error, zelk::errc::invalid_width) << width;
        EXPECT_EQ(d.finish().error, zelk::errc::invalid_width) << width;
        EXPECT_EQ(calls, 0) << width;
        EXPECT_EQ(zelk::dump_to_string(bytes_of("abc"), o), "") << width;
    }
    zelk::options widest;
    widest.width = zelk::max_width;
    EXPECT_EQ(zelk::dumper(widest, append_to_string, nullptr).status(), zelk::errc::ok);
}

// A sink that stops on its third call ends the dump there: it is not called
// again, and every call after says so.
TEST(Library, ASinkThatStopsEndsTheDump) {
    struct counted {
        int calls = 0;
        std::size_t bytes = 0;
    } seen;
    const zelk::sink third_stops = [](void* context, const char*, std::size_t size) {
        auto& c = *static_cast<counted*>(context);
        c.bytes += size;
        return ++c.calls < 3;
    };
    zelk::options o;
    o.colour = false;
    zelk::dumper d(o, third_stops, &seen);
    const std::string input = varied_input(1 << 20);
    zelk::result r{zelk::errc::ok, 0};
    std::size_t at = 0;
    for (; at < input.size() && r.error == zelk::errc::ok; at += 4096)
        r = d.write(bytes_of(std::string_view(input).substr(at, 4096)));
    EXPECT_EQ(r.error, zelk::errc::sink_stopped);
    EXPECT_LT(r.bytes, input.size());
    EXPECT_EQ(seen.calls, 3);
    EXPECT_EQ(d.status(), zelk::errc::sink_stopped);
    EXPECT_EQ(d.write(bytes_of("more")).error, zelk::errc::sink_stopped);
    EXPECT_EQ(d.flush().error, zelk::errc::sink_stopped);
    EXPECT_EQ(d.finish().error, zelk::errc::sink_stopped);
    EXPECT_EQ(seen.calls, 3);
}

TEST(Library, KernelNameIsOneOfTheKernels) {
    const std::string_view name = zelk::kernel_name();
    EXPECT_TRUE(name == "avx512" || name == "ssse3" || name == "neon" || name == "portable")
        << name;
}
