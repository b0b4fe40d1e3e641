// Open files with sharing, whole-file reads and writes, and the file and folder operations.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace kv::platform {
namespace {

namespace stdfs = std::filesystem;

class FileOps : public ::testing::Test {
  protected:
    int error() const { return last_file_error().win32; }
    bool on_disk(const std::string& name) const { return stdfs::exists(dir.path() / name); }
    test::TempDir dir;
    test::ScopedCurrentDir cd{dir.path()};
    ScopedUpperCaseFileNames case_setting{false};
};

TEST_F(FileOps, ExclusiveOpenExcludesEveryOtherOpen) {
    dir.write("A", "KVFILE");
    File first;
    ASSERT_TRUE(first.open("a", Access::Read, Share::DenyAll, Disposition::OpenExisting));
    File second;
    EXPECT_FALSE(second.open("A", Access::Read, Share::DenyNone, Disposition::OpenExisting));
    EXPECT_EQ(error(), win_error::SHARING_VIOLATION);
    first.close();
    ASSERT_TRUE(second.open("A", Access::Read, Share::DenyNone, Disposition::OpenExisting));
    // An open that others already hold cannot become exclusive.
    File third;
    EXPECT_FALSE(third.open("A", Access::Read, Share::DenyAll, Disposition::OpenExisting));
}

TEST_F(FileOps, DenyWriteAdmitsReadersOnly) {
    dir.write("A", "x");
    File reader;
    ASSERT_TRUE(reader.open("A", Access::Read, Share::DenyWrite, Disposition::OpenExisting));
    File other_reader, writer;
    EXPECT_TRUE(other_reader.open("A", Access::Read, Share::DenyWrite, Disposition::OpenExisting));
    EXPECT_FALSE(writer.open("A", Access::Write, Share::DenyNone, Disposition::OpenExisting));
}

TEST_F(FileOps, ExclusiveOpenIsSeenByAnotherProcess) {
    dir.write("A", "x");
    File held;
    ASSERT_TRUE(held.open("A", Access::Read, Share::DenyAll, Disposition::OpenExisting));
    pid_t child = ::fork();
    if (child == 0) {
        File probe;
        bool opened = probe.open("A", Access::Read, Share::DenyNone, Disposition::OpenExisting);
        std::_Exit(opened ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST_F(FileOps, OpenRefusesFoldersMissingFilesAndWritingReadOnlyFiles) {
    stdfs::create_directory(dir.path() / "D");
    dir.write("RO", "x");
    ASSERT_TRUE(set_file_attributes("RO", ATTR_READONLY));
    File f;
    EXPECT_FALSE(f.open("D", Access::Read, Share::DenyNone, Disposition::OpenExisting));
    EXPECT_FALSE(f.open("none", Access::Read, Share::DenyNone, Disposition::OpenExisting));
    EXPECT_EQ(error(), win_error::FILE_NOT_FOUND);
    EXPECT_FALSE(f.open("no/none", Access::Read, Share::DenyNone, Disposition::OpenExisting));
    EXPECT_EQ(error(), win_error::PATH_NOT_FOUND);
    EXPECT_FALSE(f.open("RO", Access::Write, Share::DenyNone, Disposition::OpenExisting));
    EXPECT_EQ(error(), win_error::ACCESS_DENIED);
    EXPECT_TRUE(f.open("RO", Access::Read, Share::DenyNone, Disposition::OpenExisting));
}

TEST_F(FileOps, ReadWriteSeekAndDispositions) {
    set_upper_case_file_names(true);
    File f;
    ASSERT_TRUE(f.open("new.dat", Access::ReadWrite, Share::DenyAll, Disposition::CreateNew,
                       NameCase::Setting));
    EXPECT_TRUE(on_disk("NEW.DAT"));
    ASSERT_TRUE(f.write("hello world"));
    EXPECT_EQ(f.seek(6), 6);
    EXPECT_EQ(f.read(100), "world");
    EXPECT_EQ(f.size(), 11u);
    EXPECT_TRUE(f.resize(5));
    f.close();
    File g;
    EXPECT_FALSE(g.open("NEW.DAT", Access::Write, Share::DenyNone, Disposition::CreateNew));
    EXPECT_EQ(error(), win_error::FILE_EXISTS);
    ASSERT_TRUE(g.open("new.dat", Access::Write, Share::DenyNone, Disposition::CreateAlways));
    EXPECT_EQ(g.size(), 0u);
}

TEST_F(FileOps, CreateAlwaysDoesNotTruncateAFileHeldByAnotherOpen) {
    dir.write("A", "keep");
    File held;
    ASSERT_TRUE(held.open("A", Access::Read, Share::DenyWrite, Disposition::OpenExisting));
    File f;
    EXPECT_FALSE(f.open("A", Access::Write, Share::DenyNone, Disposition::CreateAlways));
    EXPECT_EQ(dir.read("A"), "keep");
}

TEST_F(FileOps, WholeFileWriteReplacesAtOnceOrNotAtAll) {
    set_upper_case_file_names(true);
    ASSERT_TRUE(write_whole_file("prog1.txt", std::string("a\0b\x1A", 4), NameCase::Setting));
    EXPECT_EQ(dir.read("PROG1.TXT"), std::string("a\0b\x1A", 4));
    EXPECT_EQ(read_whole_file("Prog1.txt"), std::string("a\0b\x1A", 4));
    ASSERT_TRUE(write_whole_file("PROG1.TXT", "new"));
    EXPECT_EQ(dir.read("PROG1.TXT"), "new");

    EXPECT_FALSE(write_whole_file("missing/X", "x"));
    EXPECT_EQ(error(), win_error::PATH_NOT_FOUND);
    stdfs::create_directory(dir.path() / "FOLDER");
    EXPECT_FALSE(write_whole_file("FOLDER", "x"));
    ASSERT_TRUE(set_file_attributes("PROG1.TXT", ATTR_READONLY));
    EXPECT_FALSE(write_whole_file("PROG1.TXT", "other"));
    EXPECT_EQ(error(), win_error::ACCESS_DENIED);
    EXPECT_EQ(dir.read("PROG1.TXT"), "new");
    // No temporary file is left behind.
    for (const auto& e : find_entries("*", {.folders = false, .hidden = true, .system = true})) {
        EXPECT_NE(e.name[0], '\x7F') << e.name;
    }
}

TEST_F(FileOps, WholeFileWriteKeepsHiddenAndReadsFailCleanly) {
    dir.write("H", "1");
    ASSERT_TRUE(set_file_attributes("H", ATTR_HIDDEN));
    ASSERT_TRUE(write_whole_file("H", "2", NameCase::AsGiven));
    EXPECT_EQ(file_attributes("H"), ATTR_ARCHIVE | ATTR_HIDDEN);
    EXPECT_FALSE(read_whole_file("missing").has_value());
    File held;
    ASSERT_TRUE(held.open("H", Access::Read, Share::DenyAll, Disposition::OpenExisting));
    EXPECT_FALSE(read_whole_file("H").has_value());
    EXPECT_FALSE(write_whole_file("H", "3"));
    EXPECT_EQ(error(), win_error::SHARING_VIOLATION);
}

TEST_F(FileOps, DeleteRefusesFoldersReadOnlyAndOpenFiles) {
    set_upper_case_file_names(true);
    dir.write("A", "x");
    EXPECT_TRUE(delete_file("a"));
    EXPECT_FALSE(on_disk("A"));
    EXPECT_FALSE(delete_file("a"));
    EXPECT_EQ(error(), win_error::FILE_NOT_FOUND);

    stdfs::create_directory(dir.path() / "D");
    EXPECT_FALSE(delete_file("D"));
    dir.write("RO", "x");
    ASSERT_TRUE(set_file_attributes("RO", ATTR_READONLY));
    EXPECT_FALSE(delete_file("RO"));
    EXPECT_EQ(error(), win_error::ACCESS_DENIED);
    dir.write("OPEN", "x");
    File held;
    ASSERT_TRUE(held.open("OPEN", Access::Read, Share::DenyNone, Disposition::OpenExisting));
    EXPECT_FALSE(delete_file("OPEN"));
    EXPECT_EQ(error(), win_error::SHARING_VIOLATION);
}

TEST_F(FileOps, MoveRenamesFilesAndFoldersWithoutReplacing) {
    set_upper_case_file_names(true);
    dir.write("A", "1");
    dir.write("B", "2");
    EXPECT_FALSE(move_file("a", "b"));
    EXPECT_EQ(error(), win_error::ALREADY_EXISTS);
    ASSERT_TRUE(move_file("a", "c", NameCase::Setting));
    EXPECT_EQ(dir.read("C"), "1");
    stdfs::create_directory(dir.path() / "Folder");
    ASSERT_TRUE(move_file("folder", "Other", NameCase::Setting));
    EXPECT_TRUE(on_disk("Other"));
    // A change of case alone is a rename.
    set_upper_case_file_names(false);
    ASSERT_TRUE(move_file("C", "c"));
    EXPECT_EQ(dir.read("c"), "1");
    EXPECT_FALSE(move_file("missing", "x"));
}

TEST_F(FileOps, CopyCopiesBytesAttributesAndTime) {
    dir.write("SRC", "payload");
    ASSERT_TRUE(set_last_write_time("SRC", filetime_from_unix(1200000000, 0)));
    ASSERT_TRUE(set_file_attributes("SRC", ATTR_READONLY | ATTR_SYSTEM));
    ASSERT_TRUE(copy_file("src", "dst", false, NameCase::AsGiven));
    EXPECT_EQ(dir.read("dst"), "payload");
    EXPECT_EQ(file_attributes("dst"), ATTR_ARCHIVE | ATTR_READONLY | ATTR_SYSTEM);
    EXPECT_EQ(file_times("dst")->last_write, filetime_from_unix(1200000000, 0));

    dir.write("OTHER", "old");
    EXPECT_FALSE(copy_file("SRC", "OTHER", true));
    EXPECT_EQ(error(), win_error::FILE_EXISTS);
    ASSERT_TRUE(copy_file("SRC", "OTHER", false));
    EXPECT_EQ(dir.read("OTHER"), "payload");
    EXPECT_FALSE(copy_file("SRC", "dst", false));  // read-only target
    EXPECT_FALSE(copy_file("SRC", "SRC", false));
    EXPECT_FALSE(copy_file("missing", "x", false));
    stdfs::create_directory(dir.path() / "D");
    EXPECT_FALSE(copy_file("D", "x", false));
}

TEST_F(FileOps, FoldersAreCreatedOneLevelAndRemovedWhenEmpty) {
    set_upper_case_file_names(true);
    ASSERT_TRUE(create_folder("Games"));
    EXPECT_TRUE(on_disk("Games"));  // folder names keep their case
    EXPECT_FALSE(create_folder("GAMES"));
    EXPECT_EQ(error(), win_error::ALREADY_EXISTS);
    EXPECT_FALSE(create_folder("a/b"));
    EXPECT_EQ(error(), win_error::PATH_NOT_FOUND);
    EXPECT_FALSE(on_disk("a"));

    dir.write("Games/X", "x");
    EXPECT_FALSE(remove_folder("games"));
    EXPECT_EQ(error(), win_error::DIR_NOT_EMPTY);
    stdfs::remove(dir.path() / "Games/X");
    EXPECT_TRUE(remove_folder("games"));
    EXPECT_FALSE(remove_folder("games"));
    dir.write("F", "x");
    EXPECT_FALSE(remove_folder("F"));
    EXPECT_EQ(error(), win_error::DIRECTORY);
}

TEST_F(FileOps, CurrentFolderChangesOnlyOnSuccessAndIsNeverRemoved) {
    std::string start = current_folder();
    stdfs::create_directory(dir.path() / "Sub");
    dir.write("F", "x");
    EXPECT_FALSE(set_current_folder("missing"));
    EXPECT_FALSE(set_current_folder("F"));
    EXPECT_FALSE(set_current_folder(""));
    EXPECT_EQ(current_folder(), start);
    ASSERT_TRUE(set_current_folder("sub"));
    EXPECT_EQ(current_folder(), start + "/Sub");
    EXPECT_FALSE(remove_folder("."));
    EXPECT_FALSE(remove_folder(start + "/SUB"));
    EXPECT_EQ(error(), win_error::SHARING_VIOLATION);
    ASSERT_TRUE(set_current_folder(".."));
    EXPECT_EQ(current_folder(), start);
}

TEST_F(FileOps, VolumesAndTheTemporaryFolder) {
    auto here = disk_free_space();
    ASSERT_TRUE(here.has_value());
    EXPECT_GT(*here, 0u);
    EXPECT_TRUE(disk_free_space("\\").has_value());
    EXPECT_FALSE(disk_free_space("missing/folder").has_value());
    EXPECT_NE(drive_type(), DRIVE_NO_ROOT_DIR);
    EXPECT_EQ(drive_type("C:\\"), DRIVE_NO_ROOT_DIR);

    const char* saved = std::getenv("TEMP");
    std::string kept = saved ? saved : "";
    ::setenv("TEMP", "/some/where", 1);
    EXPECT_EQ(temp_folder(), "/some/where");
    ::unsetenv("TEMP");
    EXPECT_FALSE(temp_folder().empty());
    if (saved) ::setenv("TEMP", kept.c_str(), 1);
}

}  // namespace
}  // namespace kv::platform
