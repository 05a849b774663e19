// ZELK_COLORS end to end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/run_zelk.hpp"

namespace {

// One byte of each class: 0x00, 0x01, 'A', 0x7f, 0xff.
const std::string input("\x00\x01\x41\x7f\xff", 5);
const std::vector<std::string> args = {"-w", "5", "-g", "0"};

struct colours {
    std::string zero = "38;5;238", low = "38;5;150", printable = "", high = "38;5;141",
                all = "38;5;167";
};

// The line for `input`: every byte changes class, so every byte in both
// blocks gets its class's escape.
std::string line(const colours& c) {
    auto esc = [](const std::string& text) { return "\033[" + text + "m"; };
    return "    0000" + esc(c.zero) + " 00" + esc(c.low) + " 01" + esc(c.printable) + " 41" +
           esc(c.high) + " 7f" + esc(c.all) + " ff " + esc(c.zero) + "." + esc(c.low) + "." +
           esc(c.printable) + "A" + esc(c.high) + "." + esc(c.all) + "\xc3\xbf\033[m\n";
}

colours with(std::string colours::*slot, std::string text) {
    colours c;
    c.*slot = std::move(text);
    return c;
}

}  // namespace

TEST(ColourVariable, Properties) {
    const std::string unknown = "zelk: unknown ZELK_COLORS property ";
    struct {
        const char* value;
        colours expected;
        std::string err;
    } const cases[] = {
        {"zero=1;31", with(&colours::zero, "1;31"), ""},
        {"zero=1 low=2 printable=3 high=4 all=5 bogus=6",
         {"1", "2", "3", "4", "5"},
         unknown + "'bogus'\n"},
        {"  low=9", with(&colours::low, "9"), ""},
        {"printable=", colours{}, ""},
        {"high=", with(&colours::high, ""), ""},
        {"zero low=7", with(&colours::low, "7"),
         "zelk: no '=' found in ZELK_COLORS property 'zero'\n"},
        {"Zero=1", colours{}, unknown + "'Zero'\n"},
        {"=5", colours{}, unknown + "''\n"},
        {"all=a=b", with(&colours::all, "a=b"), ""},
        {"zero=1 zero=2", with(&colours::zero, "2"), ""},
        {"low=1\tzero=2", with(&colours::low, "1\tzero=2"), ""},  // a tab is no separator
        {"", colours{}, ""},
        {"   ", colours{}, ""},
        {"a b=1 \xff\xfe=2 zero=\xc3\xa9", with(&colours::zero, "\xc3\xa9"),
         "zelk: no '=' found in ZELK_COLORS property 'a'\n" + unknown + "'b'\n" + unknown +
             "'\xff\xfe'\n"},
    };
    for (const auto& c : cases)
        expect_run({c.value,
                    args,
                    line(c.expected),
                    c.err,
                    0,
                    {std::string("ZELK_COLORS=") + c.value},
                    input});
}

TEST(ColourVariable, WarningsAppearAlsoWhenPlain) {
    expect_run({"plain",
                {"-p", "-w", "5", "-g", "0"},
                "    0000 00 01 41 7f ff ..A.\xc3\xbf\n",
                "zelk: unknown ZELK_COLORS property 'Zero'\n"
                "zelk: no '=' found in ZELK_COLORS property 'x'\n",
                0,
                {"ZELK_COLORS=Zero=1 zero=2 x"},
                input});
}

// The light-background preset that the README, the manual page and the
// screenshot script give, word for word: every class gets its colour.
TEST(ColourVariable, LightPresetOfTheDocs) {
    const std::string preset = "zero=38;5;243 low=38;5;28 high=38;5;91 all=38;5;160";
    for (const char* doc : {"README.md", "zelk.1", "doc/screenshot.sh"}) {
        const std::string text = read_file(std::string(ZELK_SOURCE_DIR) + "/" + doc);
        EXPECT_NE(text.find("'" + preset + "'"), std::string::npos) << doc;
    }
    expect_run({"light preset",
                args,
                line({"38;5;243", "38;5;28", "", "38;5;91", "38;5;160"}),
                "",
                0,
                {"ZELK_COLORS=" + preset},
                input});
}

// Without memory for its copy of the variable, zelk stops before dumping
// anything, saying why, with the status of a failed run.
TEST(ColourVariable, CopyThatFails) {
    if (const char* why = why_no_preload()) GTEST_SKIP() << why;
    zelk_call call;
    call.args = args;
    call.input = input;
    call.env = {"ZELK_COLORS=zero=1"};
    call.shim = "strdup-null";
    const zelk_run r = run_zelk(call);
    EXPECT_EQ(r.shim_changes, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zelk: strdup\n");
    EXPECT_EQ(r.status, 1);
}
