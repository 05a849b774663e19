// The poisoned edges of the sanitizer build: a store one byte past what the
// output buffer lets be written, a commit outside the reservation and a load
// one byte past the bytes read must each end the process, or a room counted
// one byte short would go unnoticed in the buffer that goes on.
#include "dump/poison.hpp"

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>
#include <string>
#include <utility>

#include "dump/kernel.hpp"
#include "dump/output.hpp"
#include "tests/in_memory.hpp"
#include "tests/run_zelk.hpp"

using namespace zelk::detail;

#ifdef ZELK_POISON

namespace {

const char* const poisoned = "AddressSanitizer: use-after-poison";
const char* const committed_outside =
    "^zelk: internal error: output committed outside its reservation\n$";

bool discard(void*, const char*, std::size_t) {
    return true;
}

// A new output, which the death test's child leaves behind as it dies.
output& new_output() {
    output& out = *new output;
    output_open(out, discard, nullptr);
    return out;
}

// Each edge lays out some output into a new output and returns it and the
// first byte of its buffer that may not be written: where the next byte
// would go with nothing reserved, read as it is (a reservation, even of
// nothing, would move the reach itself), or the end of a reservation.
struct edge {
    const char* name;
    std::pair<output*, char*> (*lay_out)();
};

const edge edges[] = {
    // The first reservation of an output: nothing was poisoned before it.
    {"first_reservation",
     [] {
         output& out = new_output();
         return std::pair(&out, output_reserve(out, 16) + 16);
     }},
    {"after_a_flush",
     [] {
         output& out = new_output();
         output_write(out, "abc");
         output_flush(out);
         return std::pair(&out, out.pos);
     }},
    {"after_a_write",
     [] {
         output& out = new_output();
         output_write(out, "abc");
         return std::pair(&out, out.pos);
     }},
    // More than the buffer holds: a flush in between, and the last bytes at
    // the start of the buffer.
    {"after_a_write_through_a_flush",
     [] {
         output& out = new_output();
         output_write(out, std::string(output_buffer_size + 3, 'x'));
         return std::pair(&out, out.pos);
     }},
};

// Names the edge in a failure's message.
void PrintTo(const edge& e, std::ostream* out) {
    *out << e.name;
}

class PoisonedEdge : public testing::TestWithParam<edge> {};

TEST_P(PoisonedEdge, StoreOneBytePast) {
    EXPECT_DEATH(*static_cast<volatile char*>(GetParam().lay_out().second) = 'x', poisoned);
}

TEST_P(PoisonedEdge, CommitOneBytePast) {
    EXPECT_DEATH(
        {
            const auto laid = GetParam().lay_out();
            output_commit(*laid.first, laid.second + 1);
        },
        committed_outside);
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
            output& out = new_output();
            output_write(out, "abc");
            output_commit(out, output_reserve(out, 8) - 1);
        },
        committed_outside);
}

// Reads the byte past its lines, as a routine that counts its loads one byte
// long would; lays out nothing.
void read_past_the_lines(output&, const line_plan& plan, const unsigned char* first,
                         std::size_t count, std::uint64_t) {
    const unsigned char past =
        *static_cast<const volatile unsigned char*>(first + count * plan.line_bytes);
    (void)past;
}

// The byte past a routine's lines is the byte past the bytes a dump was
// given: of a whole chunk, past the bytes that the command line read into its
// block and handed to the dumper, which lays whole chunks out where they
// lie; of a short one, past the bytes waiting in the dumper's own carry.
TEST(Poisoned, LoadOneBytePastTheBytesRead) {
    test_settings plain;
    plain.colour = false;
    for (std::size_t size : {chunk_size, std::size_t{48}}) {
        const std::string input = distinct_bytes(size);
        EXPECT_DEATH(
            {
                routine_override = read_past_the_lines;
                dump_in_memory(input, plain);
            },
            poisoned)
            << size << " bytes";
    }
}

}  // namespace

#else

TEST(Poisoned, Edges) {
    GTEST_SKIP() << "the buffers are poisoned only in a build with AddressSanitizer";
}

#endif
