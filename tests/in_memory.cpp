#include "tests/in_memory.hpp"

#include <cstdio>

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
        std::FILE* stream = fmemopen(const_cast<char*>(input.data()), input.size(), "r");
        dump_stream(stream, "(memory)");
        std::fclose(stream);
    });
    settings = dump_settings{};
    return out;
}
