// ZELK_COLORS: blank-separated NAME=VALUE properties that replace the colour
// texts of the byte classes.
#pragma once

#include <array>
#include <cstdlib>
#include <memory>
#include <string_view>

struct free_deleter {
    void operator()(char* p) const { std::free(p); }
};

// The colour texts of the byte classes, in zelk::options::colours' order.
using class_colours = std::array<std::string_view, 5>;

// Reads ZELK_COLORS and sets the colours it names in `colours`; warns about
// malformed properties. The texts set point into the returned copy of the
// variable, which must outlive their use (empty when the variable is not
// set).
std::unique_ptr<char, free_deleter> apply_colour_variable(class_colours& colours);
