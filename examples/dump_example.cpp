// zelk's engine from C++: a dump into a std::string, and a dump through a
// sink, here one that writes to a FILE*.
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <zelk/zelk.hpp>

namespace {

// Writes each stretch of output to the FILE* given as the dumper's context;
// false, for a failed write, ends the dump.
bool write_to_file(void* context, const char* data, std::size_t size) {
    return std::fwrite(data, 1, size, static_cast<std::FILE*>(context)) == size;
}

}  // namespace

int main() {
    constexpr std::string_view text = "Hello, world!\n";
    const std::span<const std::byte> bytes = std::as_bytes(std::span(text));

    // The whole dump as one string: 16 bytes a line in groups of 8, no colour.
    const std::string lines = zelk::dump_to_string(bytes, {.colour = false});
    std::fputs(lines.c_str(), stdout);

    // The same bytes, 8 a line in groups of 4, the first shown at offset
    // 0x1000, fed in two pieces: the output does not depend on the split.
    zelk::dumper dumper({.width = 8, .group_size = 4, .colour = false, .first_offset = 0x1000},
                        write_to_file, stdout);
    zelk::result result = dumper.write(bytes.first(7));
    if (result.error == zelk::errc::ok) {
        result = dumper.write(bytes.subspan(7));
    }
    if (result.error == zelk::errc::ok) {
        result = dumper.finish();  // the last line, and all of it to the sink
    }
    if (result.error != zelk::errc::ok || std::fflush(stdout) != 0) {
        std::fprintf(stderr, "dump_example: the dump stopped after %llu bytes\n",
                     static_cast<unsigned long long>(result.bytes));
        return 1;
    }
    return 0;
}
