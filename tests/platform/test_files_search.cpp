// Directory searches, the exists test, attributes and times.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace kv::platform {
namespace {

std::vector<std::string> names_of(const std::vector<DirEntry>& entries) {
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.name);
    std::sort(names.begin(), names.end());
    return names;
}

class Search : public ::testing::Test {
  protected:
    Search() {
        dir.write("PROG", "KVFILE0123456");
        dir.write("NOTES.TXT", "hello");
        dir.write(".hidden", "h");
        dir.write("SYS.DAT", "s");
        std::filesystem::create_directory(dir.path() / "GAMES");
        EXPECT_TRUE(set_file_attributes("SYS.DAT", ATTR_SYSTEM | ATTR_ARCHIVE));
    }
    test::TempDir dir;
    test::ScopedCurrentDir cd{dir.path()};
};

TEST_F(Search, OptionsChooseFoldersHiddenAndSystemEntries) {
    using V = std::vector<std::string>;
    EXPECT_EQ(names_of(find_entries("*")), (V{"NOTES.TXT", "PROG"}));
    EXPECT_EQ(names_of(find_entries("*", {.folders = true})),
              (V{".", "..", "GAMES", "NOTES.TXT", "PROG"}));
    EXPECT_EQ(names_of(find_entries("*.*", {.hidden = true})), (V{".hidden", "NOTES.TXT", "PROG"}));
    EXPECT_EQ(names_of(find_entries("*", {.system = true})), (V{"NOTES.TXT", "PROG", "SYS.DAT"}));
}

TEST_F(Search, DotEntriesComeFirstAndNotAtTheRoot) {
    auto entries = find_entries("*", {.folders = true});
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, ".");
    EXPECT_EQ(entries[1].name, "..");
    EXPECT_TRUE(entries[0].is_folder());
    for (const auto& e : find_entries("/*", {.folders = true})) {
        EXPECT_NE(e.name, ".");
        EXPECT_NE(e.name, "..");
    }
}

TEST_F(Search, EntriesCarrySizeAttributesAndTimes) {
    auto entries = find_entries("notes.txt");
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "NOTES.TXT");
    EXPECT_EQ(entries[0].size, 5u);
    EXPECT_EQ(entries[0].attributes, ATTR_ARCHIVE);
    EXPECT_GT(entries[0].times.last_write, filetime_from_unix(1600000000, 0));
}

TEST_F(Search, PatternsWithFoldersAndTheirEdges) {
    dir.write("GAMES/ALPHA", "a");
    dir.write("GAMES/beta", "b");
    using V = std::vector<std::string>;
    EXPECT_EQ(names_of(find_entries("games\\A*")), (V{"ALPHA"}));
    EXPECT_EQ(names_of(find_entries("Games/*")), (V{"ALPHA", "beta"}));
    EXPECT_TRUE(find_entries("GAMES/").empty());
    EXPECT_TRUE(find_entries("").empty());
    EXPECT_TRUE(find_entries("MISSING/*").empty());
    EXPECT_EQ(last_file_error().win32, win_error::FILE_NOT_FOUND);
}

TEST_F(Search, ExistsTestSeesFilesNotFolders) {
    EXPECT_TRUE(file_exists("prog"));
    EXPECT_TRUE(file_exists("P*"));
    EXPECT_TRUE(file_exists("*.TXT"));
    EXPECT_TRUE(file_exists(".hidden"));
    EXPECT_TRUE(file_exists("sys.dat"));
    EXPECT_FALSE(file_exists("GAMES"));
    EXPECT_FALSE(file_exists("G*"));
    EXPECT_FALSE(file_exists("PROG\\"));
    EXPECT_FALSE(file_exists(""));
    EXPECT_TRUE(folder_exists("games"));
    EXPECT_FALSE(folder_exists("prog"));
    EXPECT_TRUE(path_exists("games"));
}

TEST_F(Search, AttributesFollowPermissionsNamesAndTheExtendedAttribute) {
    EXPECT_EQ(file_attributes("GAMES"), ATTR_DIRECTORY);
    EXPECT_EQ(file_attributes(".hidden"), ATTR_ARCHIVE | ATTR_HIDDEN);
    EXPECT_EQ(file_attributes("sys.dat"), ATTR_ARCHIVE | ATTR_SYSTEM);
    EXPECT_EQ(file_attributes("missing"), INVALID_ATTRIBUTES);

    ASSERT_TRUE(set_file_attributes("PROG", ATTR_READONLY | ATTR_HIDDEN | ATTR_ARCHIVE));
    EXPECT_EQ(file_attributes("PROG"), ATTR_READONLY | ATTR_HIDDEN | ATTR_ARCHIVE);
    EXPECT_EQ(std::filesystem::status(dir.path() / "PROG").permissions() &
                  std::filesystem::perms::owner_write,
              std::filesystem::perms::none);
    EXPECT_TRUE(find_entries("PROG").empty());  // hidden now

    ASSERT_TRUE(set_file_attributes("PROG", ATTR_ARCHIVE));
    EXPECT_EQ(file_attributes("PROG"), ATTR_ARCHIVE);
    EXPECT_FALSE(set_file_attributes("missing", ATTR_ARCHIVE));
}

TEST(FileTime, CountsHundredNanosecondsSince1601) {
    EXPECT_EQ(filetime_from_unix(0, 0), 116444736000000000ULL);
    EXPECT_EQ(filetime_from_unix(1, 500), 116444736010000005ULL);
    auto [s, ns] = unix_from_filetime(116444736010000005ULL);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(ns, 500);
}

TEST_F(Search, LastWriteTimeIsSetAloneAndRefusedOnReadOnlyFiles) {
    auto before = file_times("PROG");
    ASSERT_TRUE(before);
    FileTime when = filetime_from_unix(1000000000, 123456700);
    ASSERT_TRUE(set_last_write_time("prog", when));
    auto after = file_times("PROG");
    EXPECT_EQ(after->last_write, when);
    EXPECT_EQ(after->last_access, before->last_access);

    ASSERT_TRUE(set_file_attributes("PROG", ATTR_READONLY));
    EXPECT_FALSE(set_last_write_time("PROG", when));
    EXPECT_EQ(last_file_error().win32, win_error::ACCESS_DENIED);
    ASSERT_TRUE(set_file_attributes("GAMES", ATTR_READONLY));
    EXPECT_TRUE(set_last_write_time("GAMES", when));  // folders always
    EXPECT_FALSE(file_times("missing").has_value());
}

}  // namespace
}  // namespace kv::platform
