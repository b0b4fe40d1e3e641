// Help texts and manual pages made from one manual source.
#include <gtest/gtest.h>

#include "tools/manpage/manual.h"

namespace kv::manual {
namespace {

constexpr const char* kSource =
    "demo - shows how a manual source becomes help and a page\n"
    "\n"
    "Usage: demo [--fast] NAME\n"
    "  or:  demo --list\n"
    "Does things\n"
    "with \\ and -dashes.\n"
    "\n"
    "Options:\n"
    "  --fast        go fast; this line\n"
    "                goes on here.\n"
    "  copy NAME [FILE] [--force]\n"
    "                a long term with its text below.\n"
    "\n"
    "    demo --fast\n"
    "    .hidden\n"
    "\n"
    "\n"
    ".manual\n"
    "Files:\n"
    "  KV.INI   settings.\n";

TEST(ManualSource, SplitsNameHelpAndManualOnlyParts) {
    std::string error;
    auto source = parse_manual_source(kSource, error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->program, "demo");
    EXPECT_EQ(source->summary, "shows how a manual source becomes help and a page");
    EXPECT_EQ(source->help.substr(0, 20), "Usage: demo [--fast]");
    EXPECT_TRUE(source->help.ends_with("    .hidden\n"));  // blank lines trimmed
    EXPECT_EQ(source->manual_only, "Files:\n  KV.INI   settings.\n");

    for (const char* bad : {"", "demo: no dash\n\nUsage: demo\n", "two words - x\n\nUsage\n",
                            "demo - nothing follows\n\n"}) {
        EXPECT_FALSE(parse_manual_source(bad, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(ManualSource, HelpHeaderHoldsTheTextExactly) {
    std::string error;
    auto source = parse_manual_source("a-b - x\n\nUsage: a-b \"q\" \\n\n", error);
    ASSERT_TRUE(source);
    const std::string header = help_header(*source);
    EXPECT_NE(header.find("inline constexpr char a_b[] =\n    \"Usage: a-b \\\"q\\\" \\\\n\\n\"\n"),
              std::string::npos)
        << header;
}

TEST(ManualSource, PageFollowsTheLayoutRules) {
    std::string error;
    const std::string page = man_page(*parse_manual_source(kSource, error), "9.9");
    const std::vector<std::string> expected{
        ".TH DEMO 1 \"\" \"KV32 9.9\" \"User Commands\"\n.SH NAME\ndemo \\- shows how",
        ".SH SYNOPSIS\n\\fBdemo\\fR [\\fB\\-\\-fast\\fR] \\fINAME\\fR\n.br\n"
        "\\fBdemo\\fR \\fB\\-\\-list\\fR\n",
        ".SH DESCRIPTION\n.PP\nDoes things\nwith \\e and \\-dashes.\n",
        ".SH OPTIONS\n.TP\n\\fB\\-\\-fast\\fR\ngo fast; this line\ngoes on here.\n",
        ".TP\n\\fBcopy\\fR \\fINAME\\fR [\\fIFILE\\fR] [\\fB\\-\\-force\\fR]\na long term",
        ".RS 4\n.nf\ndemo \\-\\-fast\n\\&.hidden\n.fi\n.RE\n",
        ".SH FILES\n.TP\n\\fBKV.INI\\fR\nsettings.\n",
    };
    for (const auto& piece : expected) EXPECT_NE(page.find(piece), std::string::npos) << piece;
}

}  // namespace
}  // namespace kv::manual
