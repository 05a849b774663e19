// zelk::dump_to_string, apart from the dumper: it is the one piece of the
// library that needs the C++ runtime (std::string, exceptions), which a
// program that dumps through a sink of its own does not link.
#include <exception>
#include <string>

#include "zelk/zelk.hpp"

namespace zelk {

std::string dump_to_string(std::span<const std::byte> bytes, const options& o) {
    struct target {
        std::string text;
        std::exception_ptr failure;  // what the string threw, passed on after the dump
    } to;
    // The dumper is noexcept: what append throws stops the sink instead.
    const sink append = [](void* context, const char* data, std::size_t size) {
        auto& t = *static_cast<target*>(context);
        try {
            t.text.append(data, size);
            return true;
        } catch (...) {
            t.failure = std::current_exception();
            return false;
        }
    };
    dumper d(o, append, &to);
    d.write(bytes);
    d.finish();
    if (to.failure) std::rethrow_exception(to.failure);
    return std::move(to.text);
}

}  // namespace zelk
