// The poisoned edges of the sanitizer build: a store one byte past what the
// output buffer lets be written, a commit outside the reservation and a load
// one byte past the bytes read must each end the process, or a room counted
// one byte short would go unnoticed in the buffer that goes on.
#include "dump/poison.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>

#include "dump/dump_stream.hpp"
#include "dump/output.hpp"
#include "tests/in_memory.hpp"
#include "tests/run_zelk.hpp"

#ifdef ZELK_POISON

namespace {

const char* const poisoned = "AddressSanitizer: use-after-poison";
const char* const committed_outside =
    "^zelk: internal error: output committed outside its reservation\n$";

void discard(const char*, std::size_t) {}

// Where the next byte would go with nothing reserved, read as it is: a
// reservation, even of nothing, would move the reach itself.
char* next_byte() {
    return output_detail::pos;
}

// Each edge lays out some output from the state a death test's child starts
// in and returns the first byte of the buffer that may not be written.
struct edge {
    const char* name;
    char* (*lay_out)();
};

const edge edges[] = {
    // The first reservation of the process: no sink is set, since that
    // flushes, and a flush would poison the whole buffer by itself.
    {"first_reservation", [] { return output_reserve(16) + 16; }},
    {"after_a_flush",
     [] {
         set_output_sink(discard);
         output_write("abc");
         output_flush();
         return next_byte();
     }},
    {"after_a_write",
     [] {
         set_output_sink(discard);
         output_write("abc");
         return next_byte();
     }},
    // More than the buffer holds: a flush in between, and the last bytes at
    // the start of the buffer.
    {"after_a_write_through_a_flush",
     [] {
         set_output_sink(discard);
         output_write(std::string(output_buffer_size + 3, 'x'));
         return next_byte();
     }},
};

// Names the edge in a failure's message.
void PrintTo(const edge& e, std::ostream* out) {
    *out << e.name;
}

class PoisonedEdge : public testing::TestWithParam<edge> {
  protected:
    // The child runs this test alone from the start, so that the first
    // reservation is the process's first.
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(PoisonedEdge, StoreOneBytePast) {
    EXPECT_DEATH(*static_cast<volatile char*>(GetParam().lay_out()) = 'x', poisoned);
}

TEST_P(PoisonedEdge, CommitOneBytePast) {
    EXPECT_DEATH(output_commit(GetParam().lay_out() + 1), committed_outside);
}

INSTANTIATE_TEST_SUITE_P(Output, PoisonedEdge, testing::ValuesIn(edges),
                         [](const testing::TestParamInfo<edge>& info) {
                             return std::string(info.param.name);
                         });

// Output cannot be taken back: a commit before where the reservation
// starts.
TEST(Poisoned, CommitBeforeTheReservation) {
    EXPECT_DEATH(
        {
            set_output_sink(discard);
            output_write("abc");
            output_commit(output_reserve(8) - 1);
        },
        committed_outside);
}

// Reads the byte past its lines, as a routine that counts its loads one byte
// long would; lays out nothing.
void read_past_the_lines(const line_plan& plan, const unsigned char* first, std::size_t count,
                         std::uint64_t) {
    const unsigned char past =
        *static_cast<const volatile unsigned char*>(first + count * plan.line_bytes);
    (void)past;
}

// The input ends with a whole line, so the byte past the routine's lines is
// the byte past the bytes read into the stream dumper's block.
TEST(Poisoned, LoadOneBytePastTheBytesRead) {
    dump_settings plain;
    plain.colour = false;
    const std::string input = distinct_bytes(3 * 16);
    EXPECT_DEATH(
        {
            dump_routine_override = read_past_the_lines;
            dump_in_memory(input, plain);
        },
        poisoned);
}

}  // namespace

#else

TEST(Poisoned, Edges) {
    GTEST_SKIP() << "the buffers are poisoned only in a build with AddressSanitizer";
}

#endif
