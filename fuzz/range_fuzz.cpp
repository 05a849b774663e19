// Fuzz target for the range argument. Any text either fails with one of the
// range messages or gives a range with 0 <= start <= end (or end -1), made
// of nothing but numbers and one delimiter, and that range written back in
// decimal parses to itself.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "cli/range.hpp"

namespace {

void check(bool ok, const char* what, const std::string& text) {
    if (ok) return;
    std::fprintf(stderr, "range_fuzz: %s: \"%s\"\n", what, text.c_str());
    std::abort();
}

constexpr const char* messages[] = {
    "no delimiter in range %s",           "invalid start value in range %s",
    "invalid end/size value in range %s", "start unspecified in range %s",
    "size unspecified in range %s",       "end was less than start in range %s",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The argument is a C string: it ends at the first NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const range_result r = check_range(text.c_str());
    if (r.error != nullptr) {
        bool known = false;
        for (const char* m : messages) known |= std::strcmp(r.error, m) == 0;
        check(known, "unknown message", text);
        return 0;
    }
    check(r.range.start >= 0, "negative start", text);
    check(r.range.end == -1 || r.range.end >= r.range.start, "end below start", text);
    const std::string arg = text.c_str();
    check(arg.find_first_not_of("0123456789abcdefABCDEFxX+-") == std::string::npos,
          "accepted a character outside numbers and delimiters", text);

    std::string again = std::to_string(r.range.start) + "-";
    if (r.range.end != -1) again += std::to_string(r.range.end);
    const range_result back = check_range(again.c_str());
    check(
        back.error == nullptr && back.range.start == r.range.start && back.range.end == r.range.end,
        "the range written back does not parse to itself", text);
    return 0;
}
