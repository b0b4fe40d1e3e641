// The attribute setters and the folder-tree copy and delete with their messages.
#include <filesystem>

#include <gtest/gtest.h>

#include "fs/directory.h"
#include "platform/files.h"
#include "tests/fs/fs_test_support.h"
#include "tests/support/temp_dir.h"

namespace kv::fs {
namespace {

namespace stdfs = std::filesystem;
using Texts = std::vector<std::string>;

class Tree : public ::testing::Test {
  protected:
    bool on_disk(const std::string& name) const { return stdfs::exists(dir.path() / name); }
    kv::test::TempDir dir;
    kv::test::ScopedCurrentDir cd{dir.path()};
    test::BoxRecorder boxes;
};

TEST_F(Tree, AttributeSettersChangeOneBit) {
    dir.write("F", "x");
    ASSERT_TRUE(SETFILEATTRIBUTES("F", 33));
    CLEARREADONLY("F");
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 32);
    CLEARREADONLY("F");
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 32);
    SETHIDDEN("F");
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 34);
    SETHIDDEN("F");
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 34);
    CLEARHIDDEN("F");
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 32);
    ASSERT_TRUE(SETFILEATTRIBUTES("F", 36));
    CLEARSYSTEM("F");
    EXPECT_EQ(GETFILEATTRIBUTES("F"), 32);
    CLEARREADONLY("missing");  // left alone, nothing reported
    EXPECT_TRUE(boxes.texts.empty());
}

class CopyTree : public Tree {
  protected:
    CopyTree() {
        dir.write("SRC/A.TXT", "a");
        dir.write("SRC/.hidden", "h");
        dir.write("SRC/SYS", "s");
        dir.write("SRC/Inner/B", "b");
        EXPECT_TRUE(SETFILEATTRIBUTES("SRC/SYS", 36));
        EXPECT_TRUE(SETFILEATTRIBUTES("SRC/A.TXT", 33));
        when = platform::filetime_from_unix(1000000000, 0);
        EXPECT_TRUE(platform::set_last_write_time("SRC", when));
    }
    platform::FileTime when = 0;
};

TEST_F(CopyTree, CopiesTheTreeWithoutSystemFiles) {
    ASSERT_TRUE(COPYDIR("SRC", "DST"));
    EXPECT_EQ(dir.read("DST/A.TXT"), "a");
    EXPECT_EQ(GETFILEATTRIBUTES("DST/A.TXT"), 33);
    EXPECT_EQ(dir.read("DST/.hidden"), "h");
    EXPECT_EQ(dir.read("DST/Inner/B"), "b");
    EXPECT_FALSE(on_disk("DST/SYS"));
    EXPECT_EQ(platform::file_times("DST")->last_write, when);
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(CopyTree, ExistingTargetIsRefusedWhenItShouldBeCreated) {
    stdfs::create_directory(dir.path() / "DST");
    EXPECT_FALSE(COPYDIR("SRC", "DST"));
    EXPECT_EQ(boxes.texts, Texts{"Impossibile creare la cartella DST."});
    EXPECT_FALSE(on_disk("DST/A.TXT"));
    // Into an existing folder when asked; existing files are overwritten.
    dir.write("DST/A.TXT", "old");
    EXPECT_TRUE(COPYDIR("SRC", "DST", false));
    EXPECT_EQ(dir.read("DST/A.TXT"), "a");
}

TEST_F(CopyTree, ReportsTheFirstFailureOnce) {
    EXPECT_FALSE(COPYDIR("MISSING", "NEW"));
    EXPECT_EQ(boxes.texts, Texts{"Impossibile impostare data e ora della cartella NEW."});
    boxes.texts.clear();

    dir.write("LOCKED/A.TXT", "locked");
    ASSERT_TRUE(SETFILEATTRIBUTES("LOCKED/A.TXT", 33));
    EXPECT_FALSE(COPYDIR("SRC", "LOCKED", false));
    EXPECT_EQ(boxes.texts, Texts{"Impossibile copiare il file SRC/A.TXT."});
}

TEST_F(CopyTree, NestedFailureShowsOnlyTheInnerMessage) {
    dir.write("DST/Inner", "a file where the folder should go");
    EXPECT_FALSE(COPYDIR("SRC", "DST", false));
    EXPECT_EQ(boxes.texts, Texts{"Impossibile creare la cartella DST/Inner."});
}

TEST_F(CopyTree, CopyIntoItselfIsRefused) {
    EXPECT_FALSE(COPYDIR("SRC", "SRC/Copy"));
    EXPECT_EQ(boxes.texts, Texts{"Impossibile creare la cartella SRC/Copy."});
    EXPECT_FALSE(on_disk("SRC/Copy"));
}

class DeleteTree : public Tree {
  protected:
    DeleteTree() {
        dir.write("T/RO", "r");
        dir.write("T/.hidden", "h");
        dir.write("T/SYS", "s");
        dir.write("T/Sub/DEEP", "d");
        EXPECT_TRUE(SETFILEATTRIBUTES("T/RO", 33));
        EXPECT_TRUE(SETFILEATTRIBUTES("T/SYS", 38));
        EXPECT_TRUE(SETFILEATTRIBUTES("T/Sub", 16 + 1 + 2));
    }
};

TEST_F(DeleteTree, RemovesReadOnlyHiddenAndSystemFilesAndTheFolder) {
    EXPECT_TRUE(DELETEDIR("T"));
    EXPECT_FALSE(on_disk("T"));
    EXPECT_TRUE(boxes.texts.empty());
}

TEST_F(DeleteTree, KeepsTheFolderWhenAsked) {
    EXPECT_TRUE(DELETEDIR("T", false));
    EXPECT_TRUE(on_disk("T"));
    EXPECT_TRUE(stdfs::is_empty(dir.path() / "T"));
}

TEST_F(DeleteTree, StopsAtAFileThatCannotBeDeleted) {
    platform::File held;
    ASSERT_TRUE(held.open("T/Sub/DEEP", platform::Access::Read, platform::Share::DenyAll,
                          platform::Disposition::OpenExisting));
    EXPECT_FALSE(DELETEDIR("T"));
    EXPECT_EQ(boxes.texts, Texts{"Impossibile cancellare il file T/Sub/DEEP."});
    EXPECT_TRUE(on_disk("T"));
}

TEST_F(DeleteTree, ReportsAFolderThatCannotBeRemoved) {
    ASSERT_TRUE(SETCURDIR("T/Sub"));
    EXPECT_FALSE(DELETEDIR(dir.str() + "/T/Sub"));
    EXPECT_EQ(boxes.texts, Texts{"Impossibile cancellare la cartella " + dir.str() + "/T/Sub."});
}

TEST_F(DeleteTree, LinksAreRemovedAndWhatTheyPointToIsNeitherEmptiedNorChanged) {
    dir.write("Outside/KEEP", "k");
    dir.write("Outside/RO", "r");
    ASSERT_TRUE(SETFILEATTRIBUTES("Outside/RO", 1 + 2 + 32));
    ASSERT_TRUE(SETFILEATTRIBUTES("Outside", 16 + 1 + 2));
    stdfs::create_directory_symlink(dir.path() / "Outside", dir.path() / "T/Link");
    stdfs::create_symlink(dir.path() / "Outside/RO", dir.path() / "T/FileLink");
    stdfs::create_directory_symlink(dir.path() / "Outside", dir.path() / "T/Sub/Link");
    EXPECT_TRUE(DELETEDIR("T"));
    EXPECT_FALSE(on_disk("T"));
    EXPECT_EQ(dir.read("Outside/KEEP"), "k");
    EXPECT_EQ(GETFILEATTRIBUTES("Outside/RO"), 1 + 2 + 32);
    EXPECT_EQ(GETFILEATTRIBUTES("Outside"), 16 + 1 + 2);
}

TEST_F(DeleteTree, AReadOnlyFolderKeepsItsPermissionsAndCanBeEmptied) {
    // T/Sub is read-only (set up above): only a mark, as on Windows.
    EXPECT_EQ(GETFILEATTRIBUTES("T/Sub"), 16 + 1 + 2);
    EXPECT_NE(stdfs::status(dir.path() / "T/Sub").permissions() & stdfs::perms::owner_write,
              stdfs::perms::none);
    dir.write("T/Sub/NEW", "n");  // can be filled
    EXPECT_TRUE(DELETEDIR("T/Sub", false));
    EXPECT_TRUE(stdfs::is_empty(dir.path() / "T/Sub"));
    EXPECT_FALSE(REMOVEDIR("T/Sub"));  // but not removed while marked, as on Windows
}

}  // namespace
}  // namespace kv::fs
