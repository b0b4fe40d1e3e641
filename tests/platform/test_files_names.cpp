// Names: wildcards, case, full paths and the case-insensitive look-up on disk.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace kv::platform {
namespace {

TEST(Wildcards, StarsAndQuestionMarksFollowWindowsRules) {
    for (const char* name : {"README", "A.TXT", ".profile", "a.b.c", "."}) {
        EXPECT_TRUE(wildcard_match("*", name)) << name;
        EXPECT_TRUE(wildcard_match("*.*", name)) << name;
    }
    EXPECT_TRUE(wildcard_match("*.txt", "NOTES.TXT"));
    EXPECT_TRUE(wildcard_match("*.txt", "a.b.txt"));
    EXPECT_FALSE(wildcard_match("*.txt", "a.txt.bak"));
    EXPECT_TRUE(wildcard_match("A*", "abc"));
    EXPECT_FALSE(wildcard_match("A*", "bac"));
    EXPECT_TRUE(wildcard_match("P?OG", "PROG"));
    EXPECT_FALSE(wildcard_match("P?OG", "POG"));
    EXPECT_FALSE(wildcard_match("A?C", "A.C"));
}

TEST(Wildcards, DosFormsMatchTheEndOfTheName) {
    // Trailing "?"s may match nothing, and "." before a wildcard may match the end.
    EXPECT_TRUE(wildcard_match("PROG????", "PROG"));
    EXPECT_TRUE(wildcard_match("PROG.???", "PROG"));
    EXPECT_TRUE(wildcard_match("PROG.???", "PROG.B"));
    EXPECT_FALSE(wildcard_match("PROG.???", "PROG.BASIC"));
    // "*." finds names without extension.
    EXPECT_TRUE(wildcard_match("*.", "README"));
    EXPECT_FALSE(wildcard_match("*.", "A.TXT"));
    // No exponential blow-up on many stars.
    EXPECT_FALSE(wildcard_match("*a*a*a*a*a*a*a*a*a*b", std::string(200, 'a')));
}

TEST(Names, CaseFoldsWindows1252Letters) {
    EXPECT_EQ(to_upper_name("prog1.txt"), "PROG1.TXT");
    EXPECT_EQ(to_upper_name("citt\xE0"), "CITT\xC0");  // a grave
    EXPECT_EQ(to_upper_name("\xF7\xFF\x9A"), "\xF7\x9F\x8A");
    EXPECT_TRUE(names_equal_ignoring_case("Sub", "sUB"));
    EXPECT_FALSE(names_equal_ignoring_case("Sub", "Sub2"));
}

TEST(Names, FolderAndFileParts) {
    EXPECT_EQ(folder_part("SUB\\A*"), "SUB\\");
    EXPECT_EQ(file_part("SUB\\A*"), "A*");
    EXPECT_EQ(folder_part("a/b/c"), "a/b/");
    EXPECT_EQ(file_part("name"), "name");
    EXPECT_EQ(folder_part("name"), "");
    EXPECT_TRUE(ends_with_separator("x\\"));
    EXPECT_FALSE(ends_with_separator(""));
}

TEST(FullPath, ResolvesAgainstTheCurrentFolderLexically) {
    test::TempDir dir;
    test::ScopedCurrentDir cd(dir.path());
    std::string here = current_folder();
    EXPECT_EQ(full_path_name("X.TXT"), here + "/X.TXT");
    EXPECT_EQ(full_path_name("a\\b\\..\\.\\c"), here + "/a/c");
    EXPECT_EQ(full_path_name("sub\\"), here + "/sub/");
    EXPECT_EQ(full_path_name("\\etc\\..\\..\\x"), "/x");
    EXPECT_EQ(full_path_name("/"), "/");
    EXPECT_EQ(full_path_name("NET."), here + "/NET");
    EXPECT_EQ(full_path_name("a..\\b.c.."), here + "/a/b.c");
    EXPECT_FALSE(full_path_name("").has_value());
}

class Resolution : public ::testing::Test {
  protected:
    test::TempDir dir;
    test::ScopedCurrentDir cd{dir.path()};
    ScopedUpperCaseFileNames case_setting{false};
};

TEST_F(Resolution, FindsNamesOnDiskIgnoringCaseComponentByComponent) {
    dir.write("SUB/Deep/file.TXT", "x");
    std::string root = current_folder();
    EXPECT_EQ(resolve_path("sub\\deep/FILE.txt"), root + "/SUB/Deep/file.TXT");
    // Missing components are kept as given.
    EXPECT_EQ(resolve_path("sub/new/x"), root + "/SUB/new/x");
}

TEST_F(Resolution, ExactMatchWins) {
    dir.write("prog", "lower");
    dir.write("PROG", "upper");
    std::string root = current_folder();
    EXPECT_EQ(resolve_path("prog"), root + "/prog");
    EXPECT_EQ(resolve_path("PROG"), root + "/PROG");
}

TEST_F(Resolution, CaseSettingUpperCasesOnlyTheFilePart) {
    std::string root = current_folder();
    ASSERT_TRUE(create_folder("sub"));
    set_upper_case_file_names(true);
    EXPECT_EQ(resolve_path("sub/prog", NameCase::Setting), root + "/sub/PROG");
    EXPECT_EQ(resolve_path("sub/prog", NameCase::AsGiven), root + "/sub/prog");
    // A name already there is that entry, as it stands: the setting is only for new files.
    dir.write("sub/lower", "x");
    EXPECT_EQ(resolve_path("sub/lower", NameCase::Setting), root + "/sub/lower");
    EXPECT_EQ(resolve_path("sub/LOWER", NameCase::Setting), root + "/sub/lower");
    set_upper_case_file_names(false);
    EXPECT_EQ(resolve_path("sub/prog", NameCase::Setting), root + "/sub/prog");
}

TEST_F(Resolution, DeviceNameLandsInTheFolderMadeInAnotherCase) {
    ASSERT_TRUE(create_folder("SUB"));
    set_upper_case_file_names(true);
    ASSERT_TRUE(write_whole_file("sub/prog", "data", NameCase::Setting));
    EXPECT_EQ(dir.read("SUB/PROG"), "data");
    EXPECT_TRUE(file_exists("Sub\\Prog"));
}

}  // namespace
}  // namespace kv::platform
