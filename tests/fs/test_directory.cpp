// The directory, disk-space, path and attribute primitives against real folders.
#include <sys/statvfs.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "fs/directory.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace kv::fs {
namespace {

namespace stdfs = std::filesystem;

class Directory : public ::testing::Test {
  protected:
    bool on_disk(const std::string& name) const { return stdfs::exists(dir.path() / name); }
    kv::test::TempDir dir;
    kv::test::ScopedCurrentDir cd{dir.path()};
};

TEST_F(Directory, CreateDirMakesOneNewLevelOnly) {
    EXPECT_TRUE(CREATEDIR("Games"));
    EXPECT_TRUE(stdfs::is_directory(dir.path() / "Games"));
    EXPECT_FALSE(CREATEDIR("Games"));
    EXPECT_FALSE(CREATEDIR("games"));  // names compare without regard to case
    dir.write("FILE", "x");
    EXPECT_FALSE(CREATEDIR("FILE"));
    EXPECT_FALSE(CREATEDIR("one\\two"));
    EXPECT_FALSE(on_disk("one"));
    EXPECT_FALSE(CREATEDIR(std::nullopt));
    EXPECT_TRUE(CREATEDIR("Games\\Sub", 12345));
}

TEST_F(Directory, RemoveDirRemovesOnlyEmptyFolders) {
    dir.write("Full/A", "x");
    EXPECT_FALSE(REMOVEDIR("Full"));
    EXPECT_TRUE(on_disk("Full"));
    stdfs::create_directory(dir.path() / "Empty");
    EXPECT_TRUE(REMOVEDIR("EMPTY"));
    EXPECT_FALSE(on_disk("Empty"));
    EXPECT_FALSE(REMOVEDIR("Empty"));
    EXPECT_FALSE(REMOVEDIR("Full/A"));
    EXPECT_FALSE(REMOVEDIR(std::nullopt));
}

TEST_F(Directory, SetCurDirChangesTheFolderForEveryLaterName) {
    std::string start = platform::current_folder();
    dir.write("Sub/INSIDE", "x");
    EXPECT_FALSE(SETCURDIR("missing"));
    EXPECT_FALSE(SETCURDIR(std::nullopt));
    EXPECT_EQ(platform::current_folder(), start);
    ASSERT_TRUE(SETCURDIR("sub"));
    EXPECT_EQ(GETFILEATTRIBUTES("INSIDE"), 32);
    EXPECT_EQ(FULLNAME("X.TXT"), start + "/Sub/X.TXT");
}

TEST_F(Directory, DiskFreeSpaceIsWhatAnOrdinaryUserMayUse) {
    struct statvfs vfs;
    ASSERT_EQ(::statvfs(".", &vfs), 0);
    // df's "Available": the blocks kept for the superuser are not the user's, even for root.
    std::int64_t expected = static_cast<std::int64_t>(vfs.f_bavail) * vfs.f_frsize;
    // Nothing else writes here during the test; allow for other processes by a margin.
    EXPECT_NEAR(static_cast<double>(DISKFREESPACE()), static_cast<double>(expected),
                64.0 * 1024 * 1024);
    EXPECT_EQ(DISKFREESPACE() % vfs.f_frsize, 0);
    EXPECT_GT(DISKFREESPACE(dir.str()), 0);
    EXPECT_EQ(DISKFREESPACE("missing/folder"), 0);
}

TEST_F(Directory, FullNameIsAbsoluteAndLimitedTo259Bytes) {
    std::string here = platform::current_folder();
    EXPECT_EQ(FULLNAME("X.TXT"), here + "/X.TXT");
    EXPECT_EQ(FULLNAME("a\\..\\b\\X.TXT"), here + "/b/X.TXT");
    EXPECT_EQ(FULLNAME(""), "");
    EXPECT_EQ(FULLNAME(std::nullopt), "");
    std::size_t room = 259 - here.size() - 1;  // the separator after the folder
    EXPECT_EQ(FULLNAME(std::string(room, 'n')).size(), 259u);
    EXPECT_EQ(FULLNAME(std::string(room + 1, 'n')), "");
}

TEST_F(Directory, SetFileDateTimeCopiesOnlyTheLastWriteTime) {
    dir.write("SRC", "x");
    dir.write("DST", "y");
    stdfs::create_directory(dir.path() / "FOLDER");
    platform::FileTime when = platform::filetime_from_unix(1100000000, 0);
    ASSERT_TRUE(platform::set_last_write_time("SRC", when));
    auto before = platform::file_times("DST");
    EXPECT_TRUE(SETFILEDATETIME("SRC", "DST"));
    EXPECT_EQ(platform::file_times("DST")->last_write, when);
    EXPECT_EQ(platform::file_times("DST")->last_access, before->last_access);
    EXPECT_TRUE(SETFILEDATETIME("SRC", "FOLDER"));  // folders open too
    EXPECT_EQ(platform::file_times("FOLDER")->last_write, when);
    EXPECT_FALSE(SETFILEDATETIME("missing", "DST"));
    EXPECT_FALSE(SETFILEDATETIME("SRC", "missing"));
    ASSERT_TRUE(SETFILEATTRIBUTES("DST", 33));
    EXPECT_FALSE(SETFILEDATETIME("FOLDER", "DST"));  // a read-only target cannot be written
}

TEST_F(Directory, CopyMoveAndDeleteKeepTheNamesAsGiven) {
    platform::ScopedUpperCaseFileNames upper(true);
    dir.write("SRC", "data");
    EXPECT_TRUE(COPYFILE("src", "copy.txt"));
    EXPECT_EQ(dir.read("copy.txt"), "data");
    EXPECT_FALSE(COPYFILE("src", "copy.txt", true));
    EXPECT_TRUE(COPYFILE("src", "copy.txt"));
    EXPECT_TRUE(MOVEFILE("copy.txt", "moved.txt"));
    EXPECT_EQ(dir.read("moved.txt"), "data");
    EXPECT_FALSE(MOVEFILE("moved.txt", "SRC"));
    EXPECT_TRUE(DELETEFILE("MOVED.TXT"));
    EXPECT_FALSE(on_disk("moved.txt"));
    EXPECT_FALSE(DELETEFILE("moved.txt"));
    EXPECT_FALSE(COPYFILE(std::nullopt, "x"));
    EXPECT_FALSE(MOVEFILE("SRC", std::nullopt));
    EXPECT_FALSE(DELETEFILE(std::nullopt));
}

TEST_F(Directory, AttributesAndDriveType) {
    dir.write("F", "x");
    stdfs::create_directory(dir.path() / "D");
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 32);
    EXPECT_EQ(GETFILEATTRIBUTES("D"), 16);
    EXPECT_EQ(GETFILEATTRIBUTES("missing"), -1);
    EXPECT_EQ(GETFILEATTRIBUTES(std::nullopt), -1);
    EXPECT_TRUE(SETFILEATTRIBUTES("F", 1 + 2 + 4 + 32));
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 39);
    EXPECT_FALSE(SETFILEATTRIBUTES("missing", 32));
    EXPECT_NE(GETDRIVETYPE(), platform::DRIVE_NO_ROOT_DIR);
    EXPECT_NE(GETDRIVETYPE("\\"), platform::DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(GETDRIVETYPE("Q:\\"), platform::DRIVE_NO_ROOT_DIR);
}

}  // namespace
}  // namespace kv::fs
