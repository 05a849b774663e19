// The -r argument: START-END, START-, -END, - or START+SIZE.
#pragma once

#include <cstdint>

struct byte_range {
    std::int64_t start;
    std::int64_t end;  // one past the last byte; -1 for the end of input
};

// The checks, without ending the process: on a bad argument `error` is the
// message format (with one %s for the whole argument).
struct range_result {
    byte_range range;
    const char* error;  // nullptr when the argument is good
};
range_result check_range(const char* text);

// Returns the range, or ends the process with the message and status 1.
byte_range parse_range(const char* text);
