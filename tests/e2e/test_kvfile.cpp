// kvfile against a real kv32 and the test as the device: what kvfile imports is what the device
// loads, what the device saved is what kvfile exports, and kvfile's list is the catalogue.
#include <filesystem>
#include <random>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"

namespace {

using namespace std::chrono_literals;
using namespace kv::dev;
namespace fsys = std::filesystem;

struct Outcome {
    int status;
    std::string out, err;
};

class KvfileWithDevice : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(kv.started()) << kv.process().err(); }
    void TearDown() override { EXPECT_EQ(kv.stop(), 0) << kv.process().err(); }

    Outcome kvfile(std::vector<std::string> args) {
        args.push_back("--root=" + kv.dir().str());
        ChildProcess child(KVFILE_BINARY, args, pc.str());
        const auto status = child.wait_exit(kv::test::kReplyTimeout);
        return {status.value_or(-1), child.out(), child.err()};
    }
    std::string pc_file(const std::string& name, const std::string& bytes) {
        return pc.write(name, bytes).string();
    }

    DeviceLink& dev() { return kv.device(); }
    kv::test::Kv32OnPty kv;
    kv::test::TempDir pc;  // the PC's own files, outside the served folder
};

std::string random_bytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string bytes(size, '\0');
    for (auto& b : bytes) b = static_cast<char>(rng());
    return bytes;
}

TEST_F(KvfileWithDevice, ImportedFilesAreLoadedByTheDeviceByteForByte) {
    const std::string program = "10 PRINT \"CIAO\"\r20 GOTO 10\r";
    const std::string code = random_bytes(65535, 7);
    ASSERT_EQ(make_folder(dev(), "GAMES"), kOk);
    // Relative PC names are the PC's current folder's, whatever folder is served.
    Outcome r = kvfile({"import", "hello", "hello.bas", "--param2", "10"});
    EXPECT_EQ(r.status, 1);  // no such PC file yet
    pc_file("hello.bas", program);
    r = kvfile({"import", "hello", "hello.bas", "--param2", "10"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/HELLO: BAS LINE 10, " + std::to_string(program.size()) + " bytes\n");
    r = kvfile({"import", "games/invaders", pc_file("inv.bin", code), "--param1=24576"});
    EXPECT_EQ(r.status, 0) << r.err;

    const LoadResult hello = load(dev(), "HELLO");
    EXPECT_EQ(hello.status, kOk);
    EXPECT_EQ(hello.type, 0);
    EXPECT_EQ(hello.param1, 0);
    EXPECT_EQ(hello.param2, 10);
    EXPECT_EQ(hello.length, program.size());
    EXPECT_EQ(hello.data, program);
    const LoadResult invaders = load(dev(), "GAMES/INVADERS");
    EXPECT_EQ(invaders.status, kOk);
    EXPECT_EQ(invaders.type, 3);
    EXPECT_EQ(invaders.param1, 24576);
    EXPECT_EQ(invaders.length, 65535);
    EXPECT_TRUE(invaders.data == code) << invaders.data.size() << " bytes came";
    EXPECT_TRUE(fsys::exists(kv.dir().path() / "GAMES" / "INVADERS"));
}

TEST_F(KvfileWithDevice, WhatTheDeviceSavedExportsToTheBytesItSent) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    all += '\x1A';
    ASSERT_EQ(save(dev(), "ALL", all, {7, 1234, 99}), kOk);
    ASSERT_EQ(save(dev(), "EMPTY", "", {0, 0, 0}), kOk);
    ASSERT_TRUE(kv.idle_after(2));

    const std::string out = (pc.path() / "all.bin").string();
    Outcome r = kvfile({"export", "all", out});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(pc.read("all.bin"), all);
    r = kvfile({"export", "ALL", out});  // never replaced unasked
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(kvfile({"export", "EMPTY", out, "--force"}).status, 0);
    EXPECT_EQ(pc.read("all.bin"), "");
    EXPECT_EQ(kvfile({"export", "EMPTY", "-"}).out, "");
    EXPECT_EQ(kvfile({"export", "ALL", "-"}).out, all);

    r = kvfile({"info", "ALL"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("type:      7 (CDE)\nparam1:    1234\nlength:    257\nparam2:    99\n"
                         "data:      257 bytes\nheader:    agrees with the file's size\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("catalogue: ALL        CDE 1234,257,99"), std::string::npos);
    // A header that announces more than the file holds (a Save the device broke off).
    kv.dir().write("SHORT", std::string("KVFILE\x00\x00\x00\x64\x00\x00\x00", 13) + "abc");
    EXPECT_NE(kvfile({"info", "SHORT"}).out.find("announces 100 bytes, the file holds 3"),
              std::string::npos);
    kv.dir().write("NOTES", "plain text");
    r = kvfile({"export", "NOTES", "-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "kvfile: NOTES: not a stored file (it does not begin with KVFILE)\n");
}

TEST_F(KvfileWithDevice, ListIsWhatACatalogueSends) {
    ASSERT_EQ(make_folder(dev(), "GAMES"), kOk);
    ASSERT_EQ(save(dev(), "PROG", "x", {0, 0, 10}), kOk);
    ASSERT_EQ(save(dev(), "GAMES/SCREEN", std::string(6912, 'p'), {3, 16384, 0}), kOk);
    ASSERT_EQ(save(dev(), "GAMES/A-VERY-LONG-NAME", "y", {7, 1, 5}), kOk);
    kv.dir().write("NOTES", "not listed");
    for (const std::string folder : {"", "GAMES", "GAMES/", "/games/*.", "GAMES/S*"}) {
        SCOPED_TRACE(folder);
        const Catalogue c = catalogue(
            dev(), folder.empty() || folder.back() == '/' || folder.find('*') != std::string::npos
                       ? folder
                       : folder + "/");
        const Outcome r = kvfile(folder.empty() ? std::vector<std::string>{"list"}
                                                : std::vector<std::string>{"list", folder});
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<std::string> listed;
        std::istringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) listed.push_back(line);
        ASSERT_EQ(listed.size(), c.lines.size()) << r.out;
        for (std::size_t i = 0; i < listed.size(); ++i) {
            // The free space may move between the two; its line's shape may not.
            if (i + 2 == listed.size())
                EXPECT_EQ(listed[i].substr(0, 22), c.lines[i].substr(0, 22));
            else
                EXPECT_EQ(listed[i], c.lines[i]) << "line " << i;
        }
    }
    EXPECT_EQ(kvfile({"list", "NOPE"}).err, "kvfile: NOPE: no such folder\n");
}

TEST_F(KvfileWithDevice, NamesTheDeviceCouldNotUseAreRefusedAndNothingChanges) {
    ASSERT_EQ(save(dev(), "PROG", "old", {0, 0, 0}), kOk);
    ASSERT_EQ(make_folder(dev(), "GAMES"), kOk);
    kv.dir().write("NOTES", "a PC file");
    kv.dir().write("KV32.INI", "[Impostazioni]\r\n");
    const std::string data = pc_file("new.bin", "new");
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<Case> cases{
        {{"A*"}, "\"*\" or \"?\""},
        {{"GAMES/X?Y"}, "\"*\" or \"?\""},
        {{"..."}, "nothing but spaces and dots"},
        {{"GAMES/ . "}, "nothing but spaces and dots"},
        {{".HIDDEN"}, "beginning with \".\""},
        {{"GAMES/"}, "needs a name"},
        {{"NOPE/X"}, "no such folder"},
        {{"PROG"}, "a stored file of that name exists (--force replaces it)"},
        {{"prog. "}, "a stored file of that name exists"},
        {{"NOTES", "--force"}, "not a stored file"},
        {{"games", "--force"}, "a folder of that name exists"},
        {{"kv32.ini", "--force"}, "the settings file's name"},
        {{std::string(300, 'N')}, "the file system takes at most"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        std::vector<std::string> args{"import", c.args[0], data};
        args.insert(args.end(), c.args.begin() + 1, c.args.end());
        const Outcome r = kvfile(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    EXPECT_EQ(load(dev(), "PROG").data, "old");
    EXPECT_EQ(kv.dir().read("NOTES"), "a PC file");
    EXPECT_EQ(catalogue(dev(), "").lines.back(), "1 File(s)                       ");

    // More than a stored file holds, said before anything is read.
    Outcome r = kvfile({"import", "BIG", pc_file("big.bin", std::string(65536, 'b'))});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("65536 bytes, more than the 65535"), std::string::npos) << r.err;
    // Replacing asked for: the device loads the new bytes.
    r = kvfile({"import", "PROG", data, "--force", "--type", "0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(load(dev(), "PROG").data, "new");
    // Wrong usage.
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"import", "X", data, "--type", "256"},
          {"import", "X"},
          {"info", "X", "Y"},
          {"export", "X", "-", "--type=1"},
          {"rename", "X"}}) {
        r = kvfile(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_NE(r.err.find("Try 'kvfile --help'."), std::string::npos);
    }
}

}  // namespace
