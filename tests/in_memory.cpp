#include "tests/in_memory.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "cli/dump_stream.hpp"
#include "dump/line_layout.hpp"
#include "dump/output.hpp"

using namespace zelk::detail;

bool append_to_string(void* context, const char* data, std::size_t size) {
    static_cast<std::string*>(context)->append(data, size);
    return true;
}

line_plan make_line_plan(const test_settings& s) {
    return make_line_plan(dump_settings{s.width, s.group_size, s.colour}, s.colours);
}

zelk::options options_of(const test_settings& s) {
    zelk::options o;
    o.width = s.width;
    o.group_size = s.group_size;
    o.colour = s.colour;
    o.colours = s.colours;
    o.first_offset = static_cast<std::uint64_t>(s.range_start);
    return o;
}

std::string dump_in_memory(const std::string& input, const test_settings& s) {
    std::string out;
    zelk::dumper d(options_of(s), append_to_string, &out);
    // The dumper reads a stream through its descriptor, so the input is
    // a real file. It is written past the stream, which dump_stream is
    // then the first to use.
    std::FILE* stream = std::tmpfile();
    if (stream == nullptr) throw std::runtime_error("tmpfile");
    for (std::size_t done = 0; done < input.size();) {
        const ssize_t n = write(fileno(stream), input.data() + done, input.size() - done);
        if (n <= 0) throw std::runtime_error("writing the input file");
        done += static_cast<std::size_t>(n);
    }
    dump_stream(d, stream, "(memory)", {s.range_start, s.range_end});
    std::fclose(stream);
    d.finish();
    return out;
}

std::string lines_in_memory(const std::string& bytes, std::uint64_t offset, const line_plan& plan,
                            lines_routine routine) {
    std::string text;
    const auto out = std::make_unique<output>();
    output_open(*out, append_to_string, &text);
    repeat_state repeats;
    for (std::size_t c = 0; c < bytes.size(); c += chunk_size) {
        const std::size_t size = std::min(chunk_size, bytes.size() - c);
        const std::unique_ptr<unsigned char[]> chunk(new unsigned char[size]);
        std::memcpy(chunk.get(), bytes.data() + c, size);
        write_chunk(*out, plan, routine, repeats, chunk.get(), size, offset + c);
    }
    output_flush(*out);
    return text;
}
