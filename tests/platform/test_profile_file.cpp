#include "platform/profile_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "tests/support/temp_dir.h"

namespace kv::platform {
namespace {

using test::ScopedCurrentDir;
using test::TempDir;

// Sets an environment variable for the scope and restores it afterwards.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = ::getenv(name)) saved_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (saved_) {
            ::setenv(name_, saved_->c_str(), 1);
        } else {
            ::unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> saved_;
};

class ProfileFileTest : public ::testing::Test {
  protected:
    std::string file(const std::string& name = "TEST.INI") const {
        return (dir.path() / name).string();
    }
    TempDir dir;
};

TEST_F(ProfileFileTest, ReadsNamesWithoutRegardToCaseAndTrimsValues) {
    dir.write("TEST.INI",
              "; settings\r\n[Impostazioni]\r\n  Porta  =   COM3  \r\nQuoted=\" a b \"\r\n"
              "Single='x'\r\nHalf=\"x\r\nTwice=\"\"x\"\"\r\nEmpty=\r\nbare\r\n");
    EXPECT_EQ(read_profile_string("IMPOSTAZIONI", "porta", file()), "COM3");
    EXPECT_EQ(read_profile_string("impostazioni", "quoted", file()), " a b ");
    EXPECT_EQ(read_profile_string("Impostazioni", "Single", file()), "x");
    EXPECT_EQ(read_profile_string("Impostazioni", "Half", file()), "\"x");
    EXPECT_EQ(read_profile_string("Impostazioni", "Twice", file()), "\"x\"");
    EXPECT_EQ(read_profile_string("Impostazioni", "Empty", file()), "");
    EXPECT_EQ(read_profile_string("Impostazioni", "bare", file()), std::nullopt);  // no "="
}

// Files as other programs leave them, read as Windows reads them.
TEST_F(ProfileFileTest, OddFilesReadAsWindowsReadsThem) {
    struct Case {
        const char* what;
        std::string bytes, section, key;
        std::optional<std::string> value;
    } cases[] = {
        {"CR CR LF", "[A]\r\nk=v\r\r\n", "A", "k", "v"},
        {"Ctrl-Z at the end", "[A]\r\nk=v\x1A", "A", "k", "v"},
        {"byte-order mark", "\xEF\xBB\xBF[A]\r\nk=v\r\n", "A", "k", "v"},
        {"names asked with blanks", "[A]\r\nk=v\r\n", " A ", "\tk ", "v"},
        {"key line without =", "[A]\r\nk\r\n", "A", "k", std::nullopt},
        {"[A without ]", "[A]\r\nk=1\r\n[B\r\nk=2\r\n", "A", "k", "1"},
        {"[A without ] is no section", "[B\r\nk=2\r\n", "B", "k", std::nullopt},
    };
    for (const auto& c : cases) {
        dir.write("TEST.INI", c.bytes);
        EXPECT_EQ(read_profile_string(c.section, c.key, file()), c.value) << c.what;
    }
    dir.write("TEST.INI", "\xEF\xBB\xBF[A]\r\nk=v\r\n\x1A");
    EXPECT_EQ(read_profile_section_names(file()), std::vector<std::string>{"A"});
    // A write keeps the mark and the end as they were.
    ASSERT_TRUE(write_profile_string("A", "n", "w", file()));
    EXPECT_EQ(dir.read("TEST.INI"), "\xEF\xBB\xBF[A]\r\nk=v\r\nn=w\r\n\x1A");
}

TEST_F(ProfileFileTest, MatchesAccentedNamesWithoutRegardToCase) {
    dir.write("TEST.INI", "[Citt\xC0]\nPerch\xC9=s\xEC\n");
    EXPECT_EQ(read_profile_string("citt\xE0", "perch\xE9", file()), "s\xEC");
}

TEST_F(ProfileFileTest, FirstOccurrenceOfSectionAndKeyWins) {
    dir.write("TEST.INI", "[A]\nk=1\nK=2\n[B]\nk=3\n[a]\nk=4\nx=5\n");
    EXPECT_EQ(read_profile_string("A", "k", file()), "1");
    EXPECT_EQ(read_profile_string("B", "K", file()), "3");
    EXPECT_EQ(read_profile_string("A", "x", file()), std::nullopt);
    EXPECT_EQ(read_profile_section_names(file()), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(read_profile_section("a", file()), (std::vector<ProfileEntry>{{"k", "1"}}));
}

TEST_F(ProfileFileTest, MissingFileSectionOrKeyReadsNothing) {
    EXPECT_EQ(read_profile_string("A", "k", file("NONE.INI")), std::nullopt);
    EXPECT_TRUE(read_profile_section_names(file("NONE.INI")).empty());
    EXPECT_TRUE(read_profile_section("A", file("NONE.INI")).empty());
    dir.write("TEST.INI", "k=0\n[A]\nk=1\n");
    EXPECT_EQ(read_profile_string("B", "k", file()), std::nullopt);
    EXPECT_EQ(read_profile_string("A", "j", file()), std::nullopt);
    EXPECT_EQ(read_profile_string("A", "k", ""), std::nullopt);
}

TEST_F(ProfileFileTest, SectionEntriesInFileOrderSkippingCommentsAndBlankLines) {
    dir.write("TEST.INI", "[Table]\n\nTable2=b\n; not a key\nTable1 = a\n[Next]\nz=9");
    EXPECT_EQ(read_profile_section("TABLE", file()),
              (std::vector<ProfileEntry>{{"Table2", "b"}, {"Table1", "a"}}));
    EXPECT_EQ(read_profile_section_names(file()), (std::vector<std::string>{"Table", "Next"}));
}

TEST_F(ProfileFileTest, WriteCreatesFileWithCrLfLines) {
    ASSERT_TRUE(write_profile_string("Impostazioni", "Porta", "COM1", file()));
    EXPECT_EQ(dir.read("TEST.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    EXPECT_EQ(read_profile_string("impostazioni", "PORTA", file()), "COM1");
}

TEST_F(ProfileFileTest, WriteReplacesOnlyTheValueAndKeepsEveryOtherLine) {
    dir.write("TEST.INI",
              "; keep me\n[Impostazioni]\nAltro = 1 \nporta=\nCoda=2\n\n[X]\nPorta=9\n");
    ASSERT_TRUE(write_profile_string("IMPOSTAZIONI", "Porta", "COM1", file()));
    EXPECT_EQ(dir.read("TEST.INI"),
              "; keep me\n[Impostazioni]\nAltro = 1 \nporta=COM1\nCoda=2\n\n[X]\nPorta=9\n");
}

TEST_F(ProfileFileTest, WriteAddsKeyAfterTheLastKeyOfItsSection) {
    dir.write("TEST.INI", "[A]\r\nk=1\r\n\r\n[B]\r\nz=1");
    ASSERT_TRUE(write_profile_string("a", "New", "v", file()));
    ASSERT_TRUE(write_profile_string("B", "y", "2", file()));
    EXPECT_EQ(dir.read("TEST.INI"), "[A]\r\nk=1\r\nNew=v\r\n\r\n[B]\r\nz=1\r\ny=2\r\n");
}

TEST_F(ProfileFileTest, WriteAppendsAMissingSection) {
    dir.write("TEST.INI", "[A]\nk=1");
    ASSERT_TRUE(write_profile_string("B", "Porta", "COM2", file()));
    EXPECT_EQ(dir.read("TEST.INI"), "[A]\nk=1\r\n\r\n[B]\r\nPorta=COM2\r\n");
    EXPECT_EQ(read_profile_string("A", "k", file()), "1");
}

TEST_F(ProfileFileTest, WriteRefusesTextThatWouldChangeTheFileStructure) {
    dir.write("TEST.INI", "[A]\nk=1\n");
    EXPECT_FALSE(write_profile_string("A", "k", "1\r\n[B]", file()));
    EXPECT_FALSE(write_profile_string("A", "k=2", "1", file()));
    EXPECT_FALSE(write_profile_string("A", ";k", "1", file()));
    EXPECT_FALSE(write_profile_string("A]", "k", "1", file()));
    EXPECT_FALSE(write_profile_string("", "k", "1", file()));
    EXPECT_FALSE(write_profile_string("A", " ", "1", file()));
    EXPECT_EQ(dir.read("TEST.INI"), "[A]\nk=1\n");
}

TEST_F(ProfileFileTest, WriteToAReadOnlyFileFailsAndLeavesItAlone) {
    dir.write("TEST.INI", "[A]\nk=1\n");
    std::filesystem::permissions(file(), std::filesystem::perms::owner_read);
    EXPECT_FALSE(write_profile_string("A", "k", "2", file()));
    EXPECT_EQ(dir.read("TEST.INI"), "[A]\nk=1\n");
}

TEST_F(ProfileFileTest, WriteIntoAMissingFolderFails) {
    EXPECT_FALSE(write_profile_string("A", "k", "1", file("NO/SUCH/TEST.INI")));
}

TEST_F(ProfileFileTest, BackslashPathIsRelativeToTheCurrentFolder) {
    ScopedCurrentDir cwd(dir.path());
    ASSERT_TRUE(write_profile_string("Impostazioni", "Porta", "COM1", ".\\KV32.INI"));
    EXPECT_EQ(dir.read("KV32.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    dir.write("sub/S.INI", "[s]\nk=v\n");
    EXPECT_EQ(read_profile_string("s", "k", "sub\\S.INI"), "v");
}

TEST_F(ProfileFileTest, FileNameMatchesWithoutRegardToCase) {
    ScopedCurrentDir cwd(dir.path());
    dir.write("kv32.ini", "[Impostazioni]\nPorta=COM4\n");
    EXPECT_EQ(read_profile_string("Impostazioni", "Porta", ".\\KV32.INI"), "COM4");
    ASSERT_TRUE(write_profile_string("Impostazioni", "Altro", "x", ".\\KV32.INI"));
    EXPECT_EQ(dir.read("kv32.ini"), "[Impostazioni]\nPorta=COM4\nAltro=x\r\n");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "KV32.INI"));
}

TEST_F(ProfileFileTest, NameWithoutFolderLivesInTheConfigurationFolder) {
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", dir.str() + "/xdg");
        EXPECT_EQ(profile_path("KV32.INI"), dir.str() + "/xdg/kv32/KV32.INI");
        ASSERT_TRUE(write_profile_string("A", "k", "1", "KV32.INI"));
        EXPECT_EQ(dir.read("xdg/kv32/KV32.INI"), "[A]\r\nk=1\r\n");
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", "");
    ScopedEnv home("HOME", dir.str() + "/home");
    EXPECT_EQ(profile_path("KV32.INI"), dir.str() + "/home/.config/kv32/KV32.INI");
}

}  // namespace
}  // namespace kv::platform
