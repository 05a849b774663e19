// The line algorithms that kernels share, written once as templates over
// `Isa`, a struct of static functions that says what one CPU can do 16 bytes
// at a time (kernel.hpp lists them), with the layout facts and the class and
// glyph rules as the kernels compute them, each tied to the tables at
// compile time. Each kernel file instantiates the algorithms in its own
// entry points, marked [[gnu::flatten]], which inlines the templates and the
// Isa functions into them, so that a kernel runs without a call per 16
// bytes. Where a CPU family has instruction sets beyond its baseline
// (x86-64), the Isa and its entry points are defined in that set's target
// region: the SIMD code is compiled for it, and nothing outside the regions
// for more than the baseline CPU.
// The algorithms are in three files: line_rules.hpp (what an Isa claims, the
// layout facts, the class and glyph rules, the room budgets),
// default_lines.hpp (the default layout) and any_layout.hpp (every other
// layout); this one chooses among them for a plan.
#pragma once

#include "dump/kernel.hpp"
#include "dump/kernels/any_layout.hpp"
#include "dump/kernels/default_lines.hpp"
#include "dump/line_plan.hpp"

namespace zelk::detail {

namespace {

// The routine of a kernel built on these algorithms for the plan: the default
// layout's own, else the pieces; coloured lines only where every escape fits
// an item.
template <lines_routine plain16, lines_routine colour16, lines_routine plain_any,
          lines_routine colour_any>
lines_routine routine_for_plan(const line_plan& plan) {
    const bool default_layout = is_default_layout(plan.settings);
    if (!plan.settings.colour) return default_layout ? plain16 : plain_any;
    if (default_layout && plan.tables.short_escapes) return colour16;
    return plan.tables.escape_items ? colour_any : nullptr;
}
}  // namespace

}  // namespace zelk::detail
