// Folder, path and table-file functions against real folders.
#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "util/paths.h"

namespace kv::util {
namespace {

namespace fs = std::filesystem;

class FolderTest : public ::testing::Test {
  protected:
    bool exists(const std::string& name) const { return fs::exists(dir_.path() / name); }
    std::string at(const std::string& name) const { return (dir_.path() / name).string(); }
    test::TempDir dir_;
};

TEST_F(FolderTest, DirTellsFoldersAndLeavesTheCurrentFolder) {
    fs::create_directory(dir_.path() / "SUB");
    dir_.write("F.TXT", "x");
    test::ScopedCurrentDir inside(dir_.path());
    EXPECT_TRUE(DIR_(at("SUB")));
    EXPECT_TRUE(DIR_("sub"));  // names are matched without regard to case
    EXPECT_TRUE(DIR_("/"));
    EXPECT_FALSE(DIR_("F.TXT"));
    EXPECT_FALSE(DIR_("MISSING"));
    EXPECT_FALSE(DIR_(""));
    EXPECT_EQ(fs::current_path(), dir_.path());
}

TEST_F(FolderTest, FullPathIsTheFolderPart) {
    test::ScopedCurrentDir inside(dir_.path());
    EXPECT_EQ(FULLPATH("A.TXT"), dir_.str());
    EXPECT_EQ(FULLPATH(at("WORK") + "/A.TXT"), at("WORK"));
    EXPECT_EQ(FULLPATH("WORK\\A.TXT"), at("WORK"));
    EXPECT_EQ(FULLPATH("/A.TXT"), "/");
    EXPECT_EQ(FULLPATH(""), dir_.str());
}

TEST_F(FolderTest, CurPathIsBetweenSeparators) {
    {
        test::ScopedCurrentDir inside(dir_.path());
        EXPECT_EQ(CURPATH(), dir_.str() + "/");
        EXPECT_EQ(CURPATH("C"), dir_.str() + "/");
    }
    test::ScopedCurrentDir root("/");
    EXPECT_EQ(CURPATH(), "/");
}

TEST_F(FolderTest, DelDirErasesFilesButNotFolders) {
    dir_.write("T/A.TXT", "");
    dir_.write("T/.hidden", "");
    dir_.write("T/S/INNER", "");
    DELDIR(at("T"));
    EXPECT_FALSE(exists("T/A.TXT"));
    EXPECT_FALSE(exists("T/.hidden"));
    EXPECT_TRUE(exists("T/S/INNER"));
    DELDIR(at("MISSING"));  // nothing to do, nothing reported
}

TEST_F(FolderTest, DelDirStopsAtAFileThatCannotBeErased) {
    dir_.write("T/R.TXT", "");
    fs::permissions(dir_.path() / "T/R.TXT", fs::perms::owner_write, fs::perm_options::remove);
    DELDIR(at("T"));
    EXPECT_TRUE(exists("T/R.TXT"));
}

TEST_F(FolderTest, WildExpListsEachPatternInTurn) {
    dir_.write("A.TXT", "");
    dir_.write("B.DBF", "");
    dir_.write(".C.TXT", "");
    fs::create_directory(dir_.path() / "D.TXT");
    const auto names = WILDEXP({at("*.txt"), at("A*")});
    EXPECT_EQ(std::count(names.begin(), names.end(), "A.TXT"), 2);
    EXPECT_EQ(std::count(names.begin(), names.end(), ".C.TXT"), 1);
    EXPECT_EQ(names.size(), 3u);  // no folder, nothing that matches no pattern
    EXPECT_TRUE(WILDEXP({}).empty());
}

TEST_F(FolderTest, TableAndIndexFiles) {
    dir_.write("CLIENTI.DBF", "table");
    dir_.write("OLD.CDX", "old");
    EXPECT_TRUE(ISTABLE(at("clienti.dbf")));
    EXPECT_FALSE(ISINDEX(at("CLIENTI.CDX")));
    EXPECT_TRUE(COPYINDEX(at("CLIENTI.DBF"), at("OLD.CDX")));  // copies over the destination
    EXPECT_EQ(dir_.read("OLD.CDX"), "table");
    EXPECT_TRUE(MOVETABLE(at("CLIENTI.DBF"), at("NEW.DBF")));
    EXPECT_FALSE(ISTABLE(at("CLIENTI.DBF")));
    EXPECT_FALSE(MOVEINDEX(at("NEW.DBF"), at("OLD.CDX")));  // a move never replaces a file
    EXPECT_EQ(DELETETABLE(at("NEW.DBF")), 0);
    EXPECT_EQ(DELETETABLE(at("NEW.DBF")), -1);
    EXPECT_FALSE(COPYTABLE(at("NEW.DBF"), at("X.DBF")));
}

}  // namespace
}  // namespace kv::util
