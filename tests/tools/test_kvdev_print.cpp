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

namespace {

TEST(KvdevPrint, TextIsConvertedToTheDevicesWindows1252AndAnUnconvertibleLineIsNamed) {
    struct Case {
        std::string text;
        std::string encoding;
        std::optional<std::string> printed;  // nothing: refused
        std::string error;                   // part of the error
    } cases[] = {
        {"caff\xC3\xA8 \xE2\x82\xAC\n", "UTF-8", "caff\xE8 \x80\n", ""},
        {"plain\n", "UTF-8", "plain\n", ""},
        {"caff\xE8\n", "ISO-8859-1", "caff\xE8\n", ""},
        {"one\ntwo \xE2\x86\x92\nthree\n", "UTF-8", std::nullopt, "line 2 has a character"},
        {"ok\nbad \xE8\n", "UTF-8", std::nullopt, "line 2"},  // not UTF-8 at all
    };
    for (const auto& c : cases) {
        std::string error;
        const auto printed = kv::dev::to_windows_1252(c.text, c.encoding, error);
        EXPECT_EQ(printed, c.printed) << c.text;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

}  // namespace
