// The six programs start alike: -h and --help, -V and --version, wrong usage in one line with
// the way to the help, and long options' values after "=".
#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tools/kvdev/child_process.h"

namespace kv::test {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    int status;
    std::string out, err;
};

Outcome run(const std::string& binary, const std::vector<std::string>& arguments,
            const std::string& folder) {
    dev::ChildProcess child(binary, arguments, folder, {"QT_QPA_PLATFORM=offscreen"});
    const std::optional<int> status = child.wait_exit(30s);
    return {status.value_or(-1), child.out(), child.err()};
}

TEST(ProgramStart, EveryProgramAnswersHelpVersionAndWrongUsageAlike) {
    const TempDir dir;
    struct Program {
        std::string name;
        std::string binary;
        std::vector<std::string> with_value;  // a long option given as --opt=value
        int status;                           // what that line ends with
        std::string says;                     // on standard error, naming the value
    };
    const std::vector<Program> programs{
        {"kv32", KV32_BINARY, {"--print-to=/kv-no-such-folder"}, 2, "/kv-no-such-folder"},
        {"kvdev",
         KVDEV_BINARY,
         {"--port=/kv-no-such-folder/tty", "read", "1"},
         1,
         "/kv-no-such-folder/tty"},
        {"kvdb", KVDB_BINARY, {"dump", "NONE", "--for=NAME"}, 1, "NONE.DBF"},
        {"kvfile",
         KVFILE_BINARY,
         {"info", "NONE", "--root=/kv-no-such-folder"},
         1,
         "/kv-no-such-folder"},
        {"kvserver", KVSERVER_BINARY, {"--post=FROB"}, 2, "not FROB"},
        {"kvusers", KVUSERS_BINARY, {"add", "BOB", "--level=X", "--password=pw"}, 1, "\"X\""},
    };
    for (const Program& program : programs) {
        SCOPED_TRACE(program.name);
        for (const char* help : {"-h", "--help"}) {
            const Outcome outcome = run(program.binary, {help}, dir.str());
            EXPECT_EQ(outcome.status, 0);
            EXPECT_NE(outcome.out.find("Usage: " + program.name), std::string::npos);
            EXPECT_EQ(outcome.err, "");
        }
        for (const char* version : {"-V", "--version"}) {
            const Outcome outcome = run(program.binary, {version}, dir.str());
            EXPECT_EQ(outcome.status, 0);
            EXPECT_EQ(outcome.out, program.name + " (KV32) " KV32_VERSION "\n");
        }
        const Outcome unknown = run(program.binary, {"--frobnicate"}, dir.str());
        EXPECT_EQ(unknown.status, 2);
        EXPECT_EQ(unknown.out, "");
        EXPECT_EQ(unknown.err, program.name + ": unknown option --frobnicate\nTry '" +
                                   program.name + " --help'.\n");
        // A word of one dash is no option of any program: refused, and nothing started.
        for (const char* dashed : {"-x", "-headless"}) {
            const Outcome outcome = run(program.binary, {dashed}, dir.str());
            EXPECT_EQ(outcome.status, 2) << dashed << ": " << outcome.err;
            EXPECT_EQ(outcome.err.rfind(program.name + ": ", 0), 0u) << outcome.err;
        }
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "SERVER.EXE"));
        const Outcome valued = run(program.binary, program.with_value, dir.str());
        EXPECT_EQ(valued.status, program.status) << valued.err;
        EXPECT_NE(valued.err.find(program.says), std::string::npos) << valued.err;
    }
}

}  // namespace
}  // namespace kv::test
