// ZELK_COLORS: blank-separated NAME=VALUE properties that replace the colour
// texts of the byte classes.
#pragma once

#include <cstdlib>
#include <memory>

struct free_deleter {
    void operator()(char* p) const { std::free(p); }
};

// Reads ZELK_COLORS and sets the class colour slots; warns about malformed
// properties. The slots point into the returned copy of the variable, which
// must outlive every dump (empty when the variable is not set).
std::unique_ptr<char, free_deleter> apply_colour_variable();
