#include "tests/in_memory.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "dump/output.hpp"

namespace {

std::string captured;
void capture(const char* data, std::size_t size) {
    captured.append(data, size);
}

}  // namespace

std::string capture_output(const std::function<void()>& work) {
    set_output_sink(capture);
    captured.clear();
    work();
    output_flush();
    return captured;
}

std::string dump_in_memory(const std::string& input, const dump_settings& s) {
    settings = s;
    std::string out = capture_output([&] {
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
        dump_stream(stream, "(memory)");
        std::fclose(stream);
    });
    settings = dump_settings{};
    return out;
}

std::string lines_in_memory(const std::string& bytes, std::uint64_t offset, const line_plan& plan,
                            lines_routine routine) {
    return capture_output([&] {
        repeat_state repeats;
        for (std::size_t c = 0; c < bytes.size(); c += chunk_size) {
            const std::size_t size = std::min(chunk_size, bytes.size() - c);
            const std::unique_ptr<unsigned char[]> chunk(new unsigned char[size]);
            std::memcpy(chunk.get(), bytes.data() + c, size);
            write_chunk(plan, routine, repeats, chunk.get(), size, offset + c);
        }
    });
}
