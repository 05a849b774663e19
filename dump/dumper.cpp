// zelk::dumper: one dump's state in one block of memory, and the cut of the
// bytes it is given into the chunks that lines are cut from.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

#include "dump/kernel.hpp"
#include "dump/line_layout.hpp"
#include "dump/line_plan.hpp"
#include "dump/output.hpp"
#include "dump/poison.hpp"
#include "zelk/zelk.hpp"

namespace zelk {
namespace detail {

// Everything a dump keeps, in one allocation: some 165 KiB, too much for the
// stack of a caller that must run on a small one.
struct dump_state {
    output out;
    line_plan plan;
    lines_routine routine;
    repeat_state repeats;
    // The bytes of the current chunk that wait for the rest of it.
    std::array<unsigned char, chunk_size> carry;
    std::size_t carried;
    std::uint64_t first_offset;       // the offset of the current dump's first byte
    std::uint64_t first_dump_offset;  // options.first_offset, where finish() starts anew
    std::uint64_t laid;               // bytes of the current dump cut into lines
    errc error;
    char* colour_copy;  // the colour texts that are not the defaults, or nullptr
};

namespace {

// Where `o` asks for the default colours, the plan points at them; other
// texts are copied into one block, which the state owns.
bool copy_colours(dump_state& s, const options& o, class_texts& texts) {
    std::size_t size = 0;
    for (std::size_t c = 0; c < class_count; ++c)
        if (o.colours[c] != default_colours[c]) size += o.colours[c].size();
    texts = default_colours;
    s.colour_copy = nullptr;
    if (size == 0) {
        for (std::size_t c = 0; c < class_count; ++c)
            if (o.colours[c] != default_colours[c]) texts[c] = "";  // empty, never null
        return true;
    }
    s.colour_copy = static_cast<char*>(std::malloc(size));
    if (s.colour_copy == nullptr) return false;
    char* p = s.colour_copy;
    for (std::size_t c = 0; c < class_count; ++c) {
        if (o.colours[c] == default_colours[c]) continue;
        const std::string_view text = o.colours[c];
        if (!text.empty()) std::memcpy(p, text.data(), text.size());
        texts[c] = {p, text.size()};
        p += text.size();
    }
    return true;
}

// Starts a dump whose first byte is shown at `first_offset`.
void begin_dump(dump_state& s, std::uint64_t first_offset) {
    std::construct_at(&s.repeats);
    s.carried = 0;
    s.first_offset = first_offset;
    s.laid = 0;
}

// A sink that stopped is the dump's error from then on.
void note_stop(dump_state& s) {
    if (s.out.stopped) s.error = errc::sink_stopped;
}

// Lays out the chunk at `bytes` (whole, or the last of the dump).
void lay_chunk(dump_state& s, const unsigned char* bytes, std::size_t size) {
    write_chunk(s.out, s.plan, s.routine, s.repeats, bytes, size, s.first_offset + s.laid);
    s.laid += size;
    note_stop(s);
}

// Ends the current dump: the bytes still waiting are laid out.
void end_dump(dump_state& s) {
    if (s.carried != 0 && s.error == errc::ok) lay_chunk(s, s.carry.data(), s.carried);
    s.carried = 0;
}

}  // namespace
}  // namespace detail

using detail::dump_state;

dumper::dumper(const options& o, sink to, void* context) noexcept
    : state_(nullptr), refusal_(errc::invalid_width) {
    if (o.width < 1 || o.width > max_width) return;
    refusal_ = errc::out_of_memory;
    constexpr std::size_t align = alignof(dump_state);
    constexpr std::size_t size = (sizeof(dump_state) + align - 1) / align * align;
    void* memory = std::aligned_alloc(align, size);
    if (memory == nullptr) return;
    // Default-initialised: the output buffer and the carry are not cleared,
    // so only the pages that a dump writes are ever touched.
    dump_state& s = *::new (memory) dump_state;
    detail::class_texts texts;
    if (!detail::copy_colours(s, o, texts)) {
        s.~dump_state();
        std::free(memory);
        return;
    }
    detail::output_open(s.out, to, context);
    detail::make_line_plan(s.plan, {o.width, o.group_size, o.colour}, texts);
    s.routine = detail::choose_kernel(s.plan).routine;
    s.error = errc::ok;
    s.first_dump_offset = o.first_offset;
    detail::begin_dump(s, o.first_offset);
    state_ = &s;
    refusal_ = errc::ok;
}

dumper::~dumper() {
    if (state_ == nullptr) return;
    std::free(state_->colour_copy);
    state_->~dump_state();
    detail::unpoison(state_, sizeof *state_);
    std::free(state_);
}

dumper::dumper(dumper&& other) noexcept : state_(other.state_), refusal_(other.refusal_) {
    other.state_ = nullptr;
    other.refusal_ = errc::out_of_memory;
}

dumper& dumper::operator=(dumper&& other) noexcept {
    // The old state goes with `taken`, whichever object it was.
    dumper taken(std::move(other));
    std::swap(state_, taken.state_);
    std::swap(refusal_, taken.refusal_);
    return *this;
}

errc dumper::status() const noexcept {
    return state_ == nullptr ? refusal_ : state_->error;
}

result dumper::write(std::span<const std::byte> bytes) noexcept {
    if (state_ == nullptr) return {refusal_, 0};
    dump_state& s = *state_;
    if (s.error != errc::ok) return {s.error, s.laid + s.carried};
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    // A chunk begun by an earlier write is completed from the carry.
    if (s.carried != 0) {
        const std::size_t take = std::min(n, detail::chunk_size - s.carried);
        detail::unpoison(s.carry.data() + s.carried, take);
        std::memcpy(s.carry.data() + s.carried, b, take);
        s.carried += take;
        b += take;
        n -= take;
        if (s.carried < detail::chunk_size) return {errc::ok, s.laid + s.carried};
        s.carried = 0;
        detail::lay_chunk(s, s.carry.data(), detail::chunk_size);
    }
    // Whole chunks are cut into lines where they lie.
    for (; n >= detail::chunk_size && s.error == errc::ok; b += detail::chunk_size) {
        detail::lay_chunk(s, b, detail::chunk_size);
        n -= detail::chunk_size;
    }
    if (s.error != errc::ok) return {s.error, s.laid};
    // What lies past the bytes carried is poisoned, so that a routine that
    // reads past the lines of the carry fails there.
    detail::unpoison(s.carry.data(), n);
    if (n != 0) std::memcpy(s.carry.data(), b, n);
    s.carried = n;
    detail::poison(s.carry.data() + n, detail::chunk_size - n);
    return {errc::ok, s.laid + s.carried};
}

result dumper::finish() noexcept {
    if (state_ == nullptr) return {refusal_, 0};
    dump_state& s = *state_;
    detail::end_dump(s);
    const std::uint64_t taken = s.laid;
    if (s.error == errc::ok) {
        detail::output_flush(s.out);
        detail::note_stop(s);
    }
    detail::begin_dump(s, s.first_dump_offset);
    return {s.error, taken};
}

result dumper::flush() noexcept {
    if (state_ == nullptr) return {refusal_, 0};
    dump_state& s = *state_;
    if (s.error == errc::ok) {
        detail::output_flush(s.out);
        detail::note_stop(s);
    }
    return {s.error, s.laid + s.carried};
}

result dumper::next_dump(std::uint64_t first_offset) noexcept {
    if (state_ == nullptr) return {refusal_, 0};
    dump_state& s = *state_;
    detail::end_dump(s);
    const std::uint64_t taken = s.laid;
    detail::begin_dump(s, first_offset);
    return {s.error, taken};
}

result dumper::write_text(std::string_view text) noexcept {
    if (state_ == nullptr) return {refusal_, 0};
    dump_state& s = *state_;
    if (s.error == errc::ok) {
        detail::output_write(s.out, text);
        detail::note_stop(s);
    }
    return {s.error, s.laid + s.carried};
}

const char* kernel_name() noexcept {
    const detail::cpu_features have = detail::usable_cpu_features();
    for (const detail::line_kernel* k : detail::line_kernels())
        if (detail::runs_on(*k, have)) return k->name;
    return "portable";
}

}  // namespace zelk
