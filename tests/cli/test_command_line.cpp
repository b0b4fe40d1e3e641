// The command line that every program reads alike.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

namespace kv::cli {
namespace {

using Words = std::vector<std::string>;

constexpr Option kOptions[] = {{"--port", "a port name"}, {"--bag", "a value"}, {"--raw"}};

TEST(CommandLine, OptionsAnywhereWithTheirValuesInEitherForm) {
    const CommandLine line = parse({"dump", "--port=COM1", "T", "--bag", "A", "--raw",
                                    "--bag=", "-5", "-", "--", "--raw", "-h"},
                                   kOptions);
    EXPECT_EQ(line.operands, (Words{"dump", "T", "-5", "-", "--raw", "-h"}));
    EXPECT_EQ(line.value("--port"), "COM1");
    EXPECT_EQ(line.all("--bag"), (Words{"A", ""}));
    EXPECT_TRUE(line.has("--raw"));
    EXPECT_FALSE(line.help) << "after --, -h is an operand";
    EXPECT_EQ(line.value("--nothing"), std::nullopt);
    EXPECT_EQ(parse({"--bag", "--raw"}, kOptions).value("--bag"), "--raw")
        << "the word after an option that takes a value is its value";
}

TEST(CommandLine, WrongUsageSaysWhatIsWrongInOneLine) {
    const std::vector<std::pair<Words, std::string>> cases{
        {{"--speed", "1"}, "unknown option --speed"},
        {{"--speed=1"}, "unknown option --speed"},
        {{"T", "--port"}, "--port needs a port name"},
        {{"--raw=yes"}, "--raw takes no value"},
    };
    for (const auto& [words, reason] : cases) {
        try {
            parse(words, kOptions);
            ADD_FAILURE() << reason;
        } catch (const UsageError& error) {
            EXPECT_EQ(error.what(), reason);
        }
    }
}

TEST(CommandLine, StartAnswersHelpVersionAndWrongUsageBeforeTheProgramRuns) {
    const Program program{"kvthing", "Usage: kvthing\n", kOptions};
    struct Case {
        Words arguments;
        int status;
        std::string out, err;
    };
    const std::string version = "kvthing (KV32) " KV32_VERSION "\n";
    const std::string try_help = "Try 'kvthing --help'.\n";
    const std::vector<Case> cases{
        {{"T", "-h"}, 0, "Usage: kvthing\n", ""},
        {{"--help"}, 0, "Usage: kvthing\n", ""},
        {{"-V"}, 0, version, ""},
        {{"--version", "T"}, 0, version, ""},
        {{"--frob"}, 2, "", "kvthing: unknown option --frob\n" + try_help},
        {{"T", "--port=COM2"}, 7, "ran T COM2\n", ""},
        {{"bad"}, 2, "", "kvthing: bad is not a table\n" + try_help},
    };
    for (const Case& c : cases) {
        std::ostringstream out, err;
        const int status = start(program, c.arguments, out, err, [&](const CommandLine& line) {
            if (line.operands.front() == "bad") throw UsageError("bad is not a table");
            out << "ran " << line.operands.front() << ' ' << *line.value("--port") << '\n';
            return 7;
        });
        EXPECT_EQ(status, c.status) << c.arguments.front();
        EXPECT_EQ(out.str(), c.out);
        EXPECT_EQ(err.str(), c.err);
    }
}

}  // namespace
}  // namespace kv::cli
