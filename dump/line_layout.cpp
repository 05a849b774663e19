#include "dump/line_layout.hpp"

#include <algorithm>
#include <cstring>

#include "dump/generic_layout.hpp"
#include "dump/offset_field.hpp"
#include "dump/output.hpp"

namespace zelk::detail {

namespace {

// How two lines of the same size are compared: lines of up to 32 bytes as a
// few overlapping words, without a call.
enum class compare_by { bytes, words4, words8, words16 };

constexpr compare_by comparison_for(std::size_t k) {
    if (k < 4 || k > 32) return compare_by::bytes;
    if (k < 8) return compare_by::words4;
    return k <= 16 ? compare_by::words8 : compare_by::words16;
}

template <compare_by How>
inline bool same_bytes(const unsigned char* a, const unsigned char* b, std::size_t k) {
    auto word = [](const unsigned char* p, std::size_t at, std::size_t size) {
        std::uint64_t w = 0;
        std::memcpy(&w, p + at, size);
        return w;
    };
    auto differ = [&](std::size_t at, std::size_t size) {
        return word(a, at, size) ^ word(b, at, size);
    };
    if constexpr (How == compare_by::words4) return (differ(0, 4) | differ(k - 4, 4)) == 0;
    if constexpr (How == compare_by::words8) return (differ(0, 8) | differ(k - 8, 8)) == 0;
    if constexpr (How == compare_by::words16)
        return (differ(0, 8) | differ(8, 8) | differ(k - 16, 8) | differ(k - 8, 8)) == 0;
    return std::memcmp(a, b, k) == 0;
}

// Whether a line of `k` bytes repeats the last printed line, of `previous_size`
// bytes at `previous` (none when nullptr).
inline bool repeats(const unsigned char* previous, std::size_t previous_size,
                    const unsigned char* line, std::size_t k) {
    if (previous == nullptr || previous_size != k) return false;
    switch (comparison_for(k)) {
        case compare_by::words4:
            return same_bytes<compare_by::words4>(previous, line, k);
        case compare_by::words8:
            return same_bytes<compare_by::words8>(previous, line, k);
        case compare_by::words16:
            return same_bytes<compare_by::words16>(previous, line, k);
        default:
            return same_bytes<compare_by::bytes>(previous, line, k);
    }
}

// The end of a run of whole lines of `step` bytes that starts before `end`:
// the first line from `end` on that repeats the one before it, or the end
// of the last whole line of the chunk. The comparison is chosen once.
template <compare_by How>
inline std::size_t unlike_run(const unsigned char* chunk, std::size_t end, std::size_t size,
                              std::size_t step) {
    while (end + step <= size && !same_bytes<How>(chunk + end - step, chunk + end, step))
        end += step;
    return end;
}

}  // namespace

namespace {

// write_chunk with the comparison of whole lines chosen for their size.
template <compare_by How>
void cut_chunk(output& out, const line_plan& plan, lines_routine routine, repeat_state& r,
               const unsigned char* chunk, std::size_t size, std::uint64_t offset) {
    const std::size_t step = plan.line_bytes;
    // The line to compare with: the last printed one, or a line equal to it.
    const unsigned char* previous = r.no_previous ? nullptr : r.previous.data();
    std::size_t previous_size = r.previous_size;
    bool marked = r.marked;
    for (std::size_t i = 0; i < size;) {
        const std::size_t k = std::min(size - i, step);
        const unsigned char* line = chunk + i;
        if (repeats(previous, previous_size, line, k)) {
            if (!marked) output_write(out, marker_line);
            marked = true;
            // It and the whole lines after it that repeat it too.
            i += k;
            if (k == step)
                while (i + step <= size && same_bytes<How>(previous, chunk + i, step)) i += step;
            continue;
        }
        marked = false;
        previous_size = k;
        if (k < step) {
            generic_line(out, plan, line, k, offset + i);
            previous = line;
            i += k;
            continue;
        }
        // A run of whole lines, each unlike the one before it, goes to the
        // kernel at once.
        const std::size_t end = unlike_run<How>(chunk, i + step, size, step);
        routine(out, plan, line, (end - i) / step, offset + i);
        previous = chunk + end - step;
        i = end;
    }
    if (previous != nullptr && previous != r.previous.data())
        std::memcpy(r.previous.data(), previous, previous_size);
    r.previous_size = previous_size;
    r.no_previous = previous == nullptr;
    r.marked = marked;
}

}  // namespace

void write_chunk(output& out, const line_plan& plan, lines_routine routine, repeat_state& r,
                 const unsigned char* chunk, std::size_t size, std::uint64_t offset) {
    switch (comparison_for(plan.line_bytes)) {
        case compare_by::words4:
            return cut_chunk<compare_by::words4>(out, plan, routine, r, chunk, size, offset);
        case compare_by::words8:
            return cut_chunk<compare_by::words8>(out, plan, routine, r, chunk, size, offset);
        case compare_by::words16:
            return cut_chunk<compare_by::words16>(out, plan, routine, r, chunk, size, offset);
        default:
            return cut_chunk<compare_by::bytes>(out, plan, routine, r, chunk, size, offset);
    }
}

}  // namespace zelk::detail
