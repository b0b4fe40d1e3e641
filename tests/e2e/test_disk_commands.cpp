// Save, Load, Erase and Catalogue end to end: kv32 --headless on a pseudo-terminal, the test as
// the device through kvdev.
#include <algorithm>
#include <random>
#include <set>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"

namespace {

using namespace std::chrono_literals;
using namespace kv::dev;
namespace fsys = std::filesystem;

class DiskCommands : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(kv.started()) << kv.process().err(); }
    void TearDown() override { EXPECT_EQ(kv.stop(), 0) << kv.process().err(); }

    DeviceLink& dev() { return kv.device(); }
    // After a Save the device has sent its data but the PC may still be writing: the answer to
    // a later command (an Erase of no name, refused at once) shows that it has finished.
    void sync() { ASSERT_EQ(erase(dev(), ""), kRefused); }
    bool on_disk(const std::string& relative) {
        sync();
        return fsys::exists(kv.dir().path() / relative);
    }
    std::string stored(const std::string& data, const std::string& header7) {
        return "KVFILE" + header7 + data;
    }

    kv::test::Kv32OnPty kv;
};

TEST_F(DiskCommands, SaveExampleIsStoredByteForByteAndLogged) {
    EXPECT_EQ(save(dev(), "PROG", "\x01\x02\x03", {3, 0x8000, 0}), kOk);
    ASSERT_TRUE(kv.idle_after(1));
    EXPECT_EQ(kv.dir().read("PROG"),
              std::string("KVFILE\x03\x00\x80\x03\x00\x00\x00\x01\x02\x03", 16));
    EXPECT_EQ(kv.log_lines(), (std::vector<std::string>{kv::test::kWaitingLine, "Saving...",
                                                        kv::test::kWaitingLine}));
}

TEST_F(DiskCommands, EveryByteValueAndA64KiBFileComeBackWhole) {
    std::string all;
    for (int round = 0; round < 4; ++round)
        for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    EXPECT_EQ(save(dev(), "ALL", all, {7, 1234, 65535}), kOk);
    std::string big(65535, '\0');
    std::mt19937 rng(42);
    std::generate(big.begin(), big.end(), [&] { return static_cast<char>(rng()); });
    EXPECT_EQ(save(dev(), "BIG", big, {3, 0, 0}), kOk);

    auto a = load(dev(), "ALL");
    EXPECT_EQ(a.status, kOk);
    EXPECT_EQ(a.type, 7);
    EXPECT_EQ(a.param1, 1234);
    EXPECT_EQ(a.length, all.size());
    EXPECT_EQ(a.param2, 65535);
    EXPECT_EQ(a.data, all);
    auto b = load(dev(), "big");
    EXPECT_EQ(b.status, kOk);
    EXPECT_EQ(b.length, 65535);
    EXPECT_TRUE(b.data == big) << "64 KiB file differs, " << b.data.size() << " bytes came";
}

TEST_F(DiskCommands, RefusalsLeaveEverythingAsItWas) {
    EXPECT_EQ(save(dev(), "", "x"), kRefused);
    EXPECT_EQ(save(dev(), "PROG", "first"), kOk);
    EXPECT_EQ(save(dev(), "prog", "second"), kRefused);  // existing, in any case
    EXPECT_EQ(load(dev(), "PROG").data, "first");
    EXPECT_EQ(save(dev(), "D0/", "", {}, 0), kBadFolderLength);
    EXPECT_EQ(save(dev(), "D2/", "", {}, 2), kBadFolderLength);
    EXPECT_FALSE(on_disk("D0") || on_disk("D2"));
    EXPECT_EQ(make_folder(dev(), "GAMES"), kOk);
    EXPECT_EQ(make_folder(dev(), "games"), kRefused);
    EXPECT_EQ(make_folder(dev(), "PROG"), kRefused);  // a file of that name
    EXPECT_EQ(load(dev(), "").status, kRefused);
    EXPECT_EQ(load(dev(), "MISSING").status, kRefused);
    kv.dir().write("NOTES", "plain text");
    EXPECT_EQ(load(dev(), "NOTES").status, kRefused);
    EXPECT_EQ(erase(dev(), ""), kRefused);
    // The device still gets answers afterwards.
    EXPECT_EQ(catalogue(dev(), "").lines.size(), 10u);
}

TEST_F(DiskCommands, MixedCaseNamesFindWhatIsOnDisk) {
    EXPECT_EQ(make_folder(dev(), "Sub"), kOk);
    EXPECT_TRUE(on_disk("Sub"));  // folders keep their case
    EXPECT_EQ(save(dev(), "sub/prog", "p"), kOk);
    EXPECT_TRUE(on_disk("Sub/PROG"));  // file names are upper case
    EXPECT_EQ(save(dev(), "prog1.txt", "t"), kOk);
    EXPECT_TRUE(on_disk("PROG1.TXT"));
    EXPECT_EQ(load(dev(), "SUB/Prog").data, "p");
    EXPECT_EQ(load(dev(), "Prog1.Txt").data, "t");
}

TEST_F(DiskCommands, EraseDeletesOnlyStoredFilesMatchingThePattern) {
    for (const char* n : {"A1", "A2", "B1"}) ASSERT_EQ(save(dev(), n, n), kOk);
    kv.dir().write("AX", "not a stored file");
    EXPECT_EQ(erase(dev(), "A*"), kOk);
    EXPECT_FALSE(on_disk("A1") || on_disk("A2"));
    EXPECT_TRUE(on_disk("AX") && on_disk("B1"));
    EXPECT_EQ(erase(dev(), "AX"), kOk);  // answered, not deleted
    EXPECT_TRUE(on_disk("AX"));
    EXPECT_EQ(erase(dev(), "NOPE"), kRefused);

    ASSERT_EQ(make_folder(dev(), "SUB"), kOk);
    for (const char* n : {"SUB/A1", "SUB/AB", "SUB/B"}) ASSERT_EQ(save(dev(), n, "x"), kOk);
    EXPECT_EQ(erase(dev(), "SUB/A*"), kOk);
    EXPECT_FALSE(on_disk("SUB/A1") || on_disk("SUB/AB"));
    EXPECT_TRUE(on_disk("SUB/B"));
    EXPECT_EQ(remove_folder(dev(), "SUB"), kRefused);  // not empty
    EXPECT_EQ(erase(dev(), "sub/b"), kOk);
    EXPECT_EQ(remove_folder(dev(), "SUB"), kOk);
    EXPECT_FALSE(on_disk("SUB"));
    EXPECT_EQ(remove_folder(dev(), "B1"), kRefused);  // a file
    EXPECT_EQ(erase(dev(), "*"), kOk);
    EXPECT_FALSE(on_disk("B1"));
    EXPECT_TRUE(on_disk("AX"));
}

TEST_F(DiskCommands, CatalogueLinesExactly) {
    kv.dir().write("PROG", std::string("KVFILE\x00\x00\x00\x00\x00\x0a\x00", 13));
    kv.dir().write("SCREEN", std::string("KVFILE\x03\x00\x40\x00\x1b\x00\x00", 13));
    kv.dir().write("NOTES", "text");
    kv.dir().write("LONGFILENAME12", std::string("KVFILE\x07\x01\x00\x02\x00\x05\x00", 13));
    fsys::create_directory(kv.dir().path() / "GAMES");
    fsys::create_directory(kv.dir().path() / "AVERYLONGFOLDER");
    const auto c = catalogue(dev(), "");
    ASSERT_GE(c.lines.size(), 8u);
    const std::string blank(32, ' ');
    EXPECT_EQ(c.lines[0], blank);
    EXPECT_EQ(c.lines[1], "* KV PROJECT CATALOGUE *        ");
    EXPECT_EQ(c.lines[2], blank);
    EXPECT_EQ(c.lines[3], "/" + std::string(31, ' '));  // the served folder is the top
    EXPECT_EQ(c.lines[4], blank);
    std::multiset<std::string> entries(c.lines.begin() + 5, c.lines.end() - 3);
    EXPECT_EQ(entries, (std::multiset<std::string>{
                           "PROG       BAS LINE 10          ", "SCREEN     CDE 16384,6912       ",
                           "GAMES      DIR                  ", "AVERYLONGF DIR                  ",
                           "LONGFILENAMCDE 1,2,5            "}));
    EXPECT_EQ(c.lines[c.lines.size() - 3], blank);
    EXPECT_EQ(c.lines[c.lines.size() - 2].substr(0, 22), "No. of Free K-Bytes = ");
    EXPECT_EQ(c.lines.back(), "3 File(s)                       ");
}

TEST_F(DiskCommands, CatalogueOfAFolderPatternShowsItsPath) {
    ASSERT_EQ(make_folder(dev(), "GAMES"), kOk);
    ASSERT_EQ(save(dev(), "GAMES/ZAP", "z", {0, 0, 0}), kOk);
    const auto c = catalogue(dev(), "GAMES/");
    EXPECT_EQ(c.lines[3], "/GAMES" + std::string(26, ' '));
    EXPECT_EQ(std::count(c.lines.begin(), c.lines.end(), "ZAP        BAS                  "), 1);
    EXPECT_EQ(c.lines.back(), "1 File(s)                       ");
    const auto none = catalogue(dev(), "Q*");
    EXPECT_EQ(none.lines.size(), 8u);
    ASSERT_EQ(change_folder(dev(), "GAMES"), kOk);
    EXPECT_EQ(catalogue(dev(), "").lines[3], "/GAMES" + std::string(26, ' '));
    EXPECT_EQ(none.lines.back(), "0 File(s)                       ");
}

TEST_F(DiskCommands, FolderNavigationUpAndDown) {
    ASSERT_EQ(make_folder(dev(), "GAMES"), kOk);
    auto in = load(dev(), "GAMES/");
    EXPECT_EQ(in.status, kOk);
    EXPECT_EQ(in.type, 1);
    EXPECT_EQ(in.length, 1);
    EXPECT_EQ(in.data, std::string(1, '\0'));
    EXPECT_EQ(save(dev(), "INSIDE", "i"), kOk);
    EXPECT_TRUE(on_disk("GAMES/INSIDE"));
    EXPECT_EQ(change_folder(dev(), "NOPE"), kRefused);
    EXPECT_EQ(change_folder(dev(), "INSIDE"), kRefused);  // a file
    EXPECT_EQ(change_folder(dev(), ".."), kOk);
    EXPECT_EQ(load(dev(), "GAMES/INSIDE").data, "i");
    EXPECT_EQ(save(dev(), "TOP", "t"), kOk);
    EXPECT_TRUE(on_disk("TOP"));
}

}  // namespace
