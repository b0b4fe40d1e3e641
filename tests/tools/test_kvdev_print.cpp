// kvdev print: how a text file becomes the device's Print lines.
#include <gtest/gtest.h>

#include "tools/kvdev/print.h"

namespace {

TEST(KvdevPrint, TextFileBecomesLinesFormFeedsAndEndOfText) {
    const std::string ff = "\x0c", etx = "\x03";
    struct Case {
        std::string text;
        std::vector<std::string> lines;
    } cases[] = {
        {"", {etx}},
        {"HELLO\n\nWORLD\n", {"HELLO", "", "WORLD", etx}},
        {"A\r\nB", {"A", "B", etx}},
        {"HELLO\n\f\nWORLD", {"HELLO", ff, "WORLD", etx}},  // a line of a form feed alone
        {"HELLO\fWORLD\f", {"HELLO", ff, "WORLD", ff, etx}},
        {"\f\fX", {ff, ff, "X", etx}},
        {"a\rb\n", {"ab", etx}},  // a CR inside a line would end it early
    };
    for (const auto& c : cases) EXPECT_EQ(kv::dev::print_lines(c.text), c.lines) << c.text;
}

}  // namespace
