// kvdev as a person uses it, against kv32 serving on a pseudo-terminal of its own.
#include <csignal>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"

namespace {

using namespace std::chrono_literals;
using kv::dev::ChildProcess;
using kv::test::kStartTimeout;

struct Result {
    int status;
    std::string out;
    std::string err;
};

class KvdevCli : public ::testing::Test {
  protected:
    void SetUp() override {
        kv32 = std::make_unique<ChildProcess>(
            KV32_BINARY, std::vector<std::string>{"--headless", "--port", "PTY"}, pc.str());
        ASSERT_TRUE(kv32->wait_for_line(kv::test::kWaitingLine, kStartTimeout)) << kv32->err();
        const std::string out = kv32->out();
        const auto at = out.find("/dev/pts/");
        ASSERT_NE(at, std::string::npos);
        path = out.substr(at, out.find_first_of(" \n", at) - at);
        ASSERT_EQ(run({"wait-start"}).status, 0);
    }
    void TearDown() override {
        kv32->signal(SIGTERM);
        EXPECT_EQ(kv32->wait_exit(kStartTimeout), 0);
    }

    Result run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", path, "--timeout", "5000"});
        ChildProcess p(KVDEV_BINARY, args, device.str());
        auto status = p.wait_exit(kStartTimeout);
        return {status.value_or(-1), p.out(), p.err()};
    }

    kv::test::TempDir pc;      // KV32's folder
    kv::test::TempDir device;  // the user's folder, where kvdev reads and writes files
    std::unique_ptr<ChildProcess> kv32;
    std::string path;
};

TEST_F(KvdevCli, SaveCatLoadEraseAndFolders) {
    device.write("hello.bin", "Hello, device");
    EXPECT_EQ(run({"mkdir", "GAMES"}).status, 0);
    auto saved = run({"save", "GAMES/HELLO", "hello.bin", "--type", "0", "--param2", "10"});
    EXPECT_EQ(saved.status, 0) << saved.err;
    EXPECT_NE(saved.out.find("Saved GAMES/HELLO"), std::string::npos) << saved.out;

    auto cat = run({"cat", "GAMES/"});  // answered only once the Save has been written
    EXPECT_EQ(pc.read("GAMES/HELLO"),
              std::string("KVFILE\0\0\0\x0d\0\x0a\0", 13) + "Hello, device");
    EXPECT_EQ(cat.status, 0);
    EXPECT_NE(cat.out.find("HELLO      BAS LINE 10          \n"), std::string::npos) << cat.out;
    EXPECT_NE(cat.out.find("1 File(s)"), std::string::npos);

    EXPECT_EQ(run({"cd", "GAMES"}).status, 0);
    auto loaded = run({"load", "HELLO", "copy.bin"});
    EXPECT_EQ(loaded.status, 0) << loaded.err;
    EXPECT_EQ(device.read("copy.bin"), "Hello, device");
    EXPECT_EQ(run({"erase", "H*"}).status, 0);
    EXPECT_EQ(run({"cd", ".."}).status, 0);
    EXPECT_EQ(run({"rmdir", "GAMES"}).status, 0);
    EXPECT_FALSE(std::filesystem::exists(pc.path() / "GAMES"));
}

TEST_F(KvdevCli, RefusalsExitNonZeroWithAReason) {
    auto load = run({"load", "NOTHERE"});
    EXPECT_EQ(load.status, 1);
    EXPECT_NE(load.err.find("refused"), std::string::npos) << load.err;
    EXPECT_EQ(run({"erase", "NOTHERE"}).status, 1);
    EXPECT_EQ(run({"cd", "NOWHERE"}).status, 1);
    EXPECT_EQ(run({"save", "X", "no-such-local-file"}).status, 1);
    EXPECT_EQ(run({"save", "X", "f", "--type", "300"}).status, 2);
}

TEST_F(KvdevCli, AnAnswerForADeviceThatHasGoneIsDroppedNotLeftForTheNext) {
    // An Erase sent raw, its refusal never read: KV32 drops it once the device has closed the
    // line, so the next device finds a quiet line.
    EXPECT_EQ(run({"send-raw", "45", "4e4f5045", "0d"}).status, 0);
    ASSERT_TRUE(kv32->wait_for_line(kv::test::kWaitingLine, kStartTimeout, 2));
    auto cat = run({"cat"});
    EXPECT_EQ(cat.status, 0) << cat.err;
    EXPECT_EQ(cat.err.find("stale"), std::string::npos) << cat.err;
    EXPECT_FALSE(cat.out.empty());
}

TEST_F(KvdevCli, LoadKeepsAnExistingFileUnlessForcedAndFilesAreNamedWithTheReason) {
    device.write("hello.bin", "new data");
    ASSERT_EQ(run({"save", "HELLO", "hello.bin"}).status, 0);
    device.write("HELLO", "mine");
    auto kept = run({"load", "HELLO"});
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("HELLO exists here"), std::string::npos) << kept.err;
    EXPECT_EQ(device.read("HELLO"), "mine");
    EXPECT_EQ(run({"load", "HELLO", "--force"}).status, 0);
    EXPECT_EQ(device.read("HELLO"), "new data");
    EXPECT_EQ(run({"load", "HELLO", "copy.bin"}).status, 0);  // a named file is the user's choice

    auto missing = run({"save", "X", "missing.bin"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read missing.bin: No such file or directory"),
              std::string::npos)
        << missing.err;
}

// A file named under a folder that is missing, or that is no folder, says so; nothing is asked
// of KV32 for a file that could not be written.
TEST_F(KvdevCli, AFileUnderAMissingFolderIsExplainedAsSuch) {
    device.write("hello.bin", "data");
    const std::string nowhere = device.str() + "/gone";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"save", "X", "nodir/a.bin"}, "cannot read nodir/a.bin: the folder nodir does not exist"},
        {{"save", "X", "hello.bin/a"}, "cannot read hello.bin/a: hello.bin is not a folder"},
        {{"load", "NOTHERE", "nodir/sub/out"},
         "cannot write nodir/sub/out: the folder nodir does not exist"},
        {{"load", "NOTHERE", nowhere + "/out"},
         "cannot write " + nowhere + "/out: the folder " + nowhere + " does not exist"},
        {{"print", "nodir/a.txt"}, "cannot read nodir/a.txt: the folder nodir does not exist"},
        {{"print", "--raw", "nodir/a.txt"}, "the folder nodir does not exist"},
        {{"save", "X", "gone.bin"}, "cannot read gone.bin: No such file or directory"},
    };
    for (const auto& [args, why] : cases) {
        const Result r = run(args);
        EXPECT_EQ(r.status, 1) << args[0] << ": " << r.err;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    }
}

TEST_F(KvdevCli, ThePortComesFromKvdevPortWhenNotGiven) {
    ChildProcess p(KVDEV_BINARY, {"--timeout", "5000", "cat"}, device.str(),
                   {"KVDEV_PORT=" + path});
    EXPECT_EQ(p.wait_exit(kStartTimeout), 0) << p.err();
    EXPECT_FALSE(p.out().empty());
}

}  // namespace

namespace {

// kvdev run at once after KV32 has started on its own pseudo-terminal, without wait-start: the
// start byte comes a moment after the line is first opened, in the middle of the first command.
TEST(KvdevWithoutWaitStart, ThreeCommandsInARowAllAnswerRight) {
    kv::test::TempDir pc;
    ChildProcess kv32(KV32_BINARY, {"--headless", "--port", "PTY"}, pc.str());
    ASSERT_TRUE(kv32.wait_for_line(kv::test::kWaitingLine, kStartTimeout)) << kv32.err();
    const std::string out = kv32.out();
    const auto at = out.find("/dev/pts/");
    ASSERT_NE(at, std::string::npos);
    const std::string path = out.substr(at, out.find_first_of(" \n", at) - at);
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"cat"}, {"mkdir", "GAMES"}, {"cat"}}) {
        std::vector<std::string> args{"--port", path};
        args.insert(args.end(), command.begin(), command.end());
        ChildProcess p(KVDEV_BINARY, args);
        EXPECT_EQ(p.wait_exit(kStartTimeout), 0) << command[0] << ": " << p.err();
        EXPECT_EQ(p.err(), "") << command[0];
    }
    kv32.signal(SIGTERM);
    EXPECT_EQ(kv32.wait_exit(kStartTimeout), 0);
}

}  // namespace

namespace {

TEST_F(KvdevCli, AStoredFileHereIsNeverWrittenOverNotEvenForcedAndPrintSendsWindows1252) {
    device.write("hello.bin", "new data");
    ASSERT_EQ(run({"save", "HELLO", "hello.bin"}).status, 0);
    ASSERT_EQ(run({"cat"}).status, 0);  // answered only once the Save has been written
    // kvdev run in the served folder itself: HELLO there is the stored file.
    const std::string stored = pc.read("HELLO");
    device.write("HELLO", stored);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"load", "HELLO", "--force"}, {"load", "HELLO", "HELLO"}}) {
        auto refused = run(args);
        EXPECT_EQ(refused.status, 1);
        EXPECT_NE(refused.err.find("HELLO here is a stored file"), std::string::npos)
            << refused.err;
        EXPECT_EQ(device.read("HELLO"), stored);
    }

    // The text of the locale (UTF-8 here) reaches KV32 in Windows-1252; --raw sends it as is.
    device.write("menu.txt", "caff\xC3\xA8 \xE2\x82\xAC\n");
    device.write("arrow.txt", "ok\n\xE2\x86\x92\n");
    auto print = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", path, "--timeout", "5000"});
        ChildProcess p(KVDEV_BINARY, args, device.str(), {"LC_ALL=C.UTF-8"});
        auto status = p.wait_exit(kStartTimeout);
        return Result{status.value_or(-1), p.out(), p.err()};
    };
    EXPECT_EQ(print({"print", "menu.txt"}).status, 0);
    EXPECT_EQ(print({"print", "menu.txt", "--raw"}).status, 0);
    auto arrow = print({"print", "arrow.txt"});
    EXPECT_EQ(arrow.status, 1);
    EXPECT_NE(arrow.err.find("line 2 has a character that Windows-1252 cannot hold"),
              std::string::npos)
        << arrow.err;
}

}  // namespace
