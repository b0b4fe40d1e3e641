// The six programs start alike: -h and --help, -V and --version, wrong usage in one line with
// the way to the help, and long options' values after "=".
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

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

// A failure is one line on standard error, "PROG: " and the reason first, and exit status 1;
// Qt's notes about a missing runtime folder (su, sudo, cron, a service) never show.
TEST(ProgramStart, AFailureIsOneLineWithItsReasonAndStatus1) {
    const TempDir dir;
    struct Case {
        std::string binary;
        std::vector<std::string> arguments;
        std::string begins;
    };
    std::vector<Case> cases{
        {KV32_BINARY,
         {"--headless", "--port", "PTY", "--log", "/kv-no-such-folder/kv32.log"},
         "kv32: cannot open the log file /kv-no-such-folder/kv32.log: No such file or directory; "},
        {KVSERVER_BINARY, {"--post", "REINDEX"}, "kvserver: "},
    };
    // An ordinary user in a folder that it may not write (the superuser may write anywhere).
    const std::filesystem::path read_only = dir.path() / "RO";
    std::filesystem::create_directory(read_only);
    std::filesystem::permissions(
        read_only, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (::geteuid() != 0)
        cases.push_back({KVUSERS_BINARY,
                         {"add", "BOB", "--level", "3", "--password", "pw"},
                         "kvusers: cannot create USERS.DBF: Permission denied; "});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.begins);
        const bool in_read_only = c.binary == std::string(KVUSERS_BINARY);
        dev::ChildProcess child(c.binary, c.arguments,
                                in_read_only ? read_only.string() : dir.str(),
                                {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR="});
        EXPECT_EQ(child.wait_exit(30s).value_or(-1), 1);
        const std::string err = child.err();
        EXPECT_EQ(err.rfind(c.begins, 0), 0u) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.find("QStandardPaths"), std::string::npos) << err;
    }
    std::filesystem::permissions(read_only, std::filesystem::perms::owner_all);
}

// A settings file that cannot take the port written on a first start is said, with why.
TEST(ProgramStart, ASettingsFileThatCannotBeWrittenSaysWhy) {
    const TempDir dir;
    std::filesystem::create_directory(dir.path() / "KV32.INI");
    dev::ChildProcess child(KV32_BINARY, {"--headless"}, dir.str(),
                            {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR="});
    child.wait_for_prefix("Waiting command", 5s);  // or the port does not open here
    child.signal(SIGTERM);
    child.wait_exit(30s);
    const std::string err = child.err();
    EXPECT_EQ(err.rfind("kv32: cannot write the port COM1 into ", 0), 0u) << err;
    EXPECT_NE(err.find("KV32.INI: it is a folder; "), std::string::npos) << err;
}

}  // namespace
}  // namespace kv::test
