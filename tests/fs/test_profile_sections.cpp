#include <gtest/gtest.h>

#include "fs/profile.h"
#include "tests/support/temp_dir.h"

namespace kv::fs {
namespace {

using test::ScopedCurrentDir;
using test::TempDir;
using Names = std::vector<std::string>;

constexpr const char* kCmd = ".\\CMD_1.INI";

class ProfileSectionsTest : public ::testing::Test {
  protected:
    void write(const std::string& bytes) { dir.write("CMD_1.INI", bytes); }
    TempDir dir;
    ScopedCurrentDir cwd{dir.path()};
};

TEST_F(ProfileSectionsTest, KeysOfASectionInFileOrder) {
    write("[Table]\r\nTable1=CLIENTI\r\nTable2=ORDINI\r\n[Alias]\r\nA=1\r\n");
    EXPECT_EQ(GETPVPROFSECTION("Table", kCmd), (Names{"Table1", "Table2"}));
    EXPECT_EQ(GETPVPROFSECTION("alias", kCmd), (Names{"A"}));
}

TEST_F(ProfileSectionsTest, NoKeysGiveAnEmptyList) {
    write("[Empty]\r\n; only a comment\r\n\r\n[Table]\r\nTable1=x\r\n");
    EXPECT_TRUE(GETPVPROFSECTION("Empty", kCmd).empty());
    EXPECT_TRUE(GETPVPROFSECTION("Absent", kCmd).empty());
    EXPECT_TRUE(GETPVPROFSECTION("Table", ".\\NONE.INI").empty());
}

TEST_F(ProfileSectionsTest, LongKeyNamesComeBackWhole) {
    const std::string solid(100, 'K');
    const std::string spaced = "Nome di una chiave molto lunga " + std::string(60, 'x') + " fine";
    write("[S]\r\n" + solid + "=1\r\n" + spaced + "=2\r\nShort   =3\r\n");
    EXPECT_EQ(GETPVPROFSECTION("S", kCmd), (Names{solid, spaced, "Short"}));
}

TEST_F(ProfileSectionsTest, AKeyListLongerThanFourKilobytesComesBackWhole) {
    std::string ini = "[Many]\r\n";
    Names expected;
    for (int i = 0; i < 600; ++i) {
        expected.push_back("Chiave" + std::to_string(1000 + i));
        ini += expected.back() + "=" + std::to_string(i) + "\r\n";
    }
    write(ini);
    EXPECT_EQ(GETPVPROFSECTION("Many", kCmd), expected);
}

TEST_F(ProfileSectionsTest, SectionNamesInFileOrder) {
    write("[Command]\r\nCmd=1\r\n[Order]\r\nOrdTag=X\r\n[command]\r\n");
    EXPECT_EQ(GETPVPROFSECTIONNAMES(kCmd), (Names{"Command", "Order"}));
    EXPECT_TRUE(GETPVPROFSECTIONNAMES(".\\NONE.INI").empty());
}

TEST_F(ProfileSectionsTest, ASectionListLongerThanSixtyFourKilobytesComesBackWhole) {
    std::string ini;
    Names expected;
    for (int i = 0; i < 6000; ++i) {
        expected.push_back("Sezione" + std::to_string(100000 + i));
        ini += "[" + expected.back() + "]\r\n";
    }
    write(ini);
    EXPECT_EQ(GETPVPROFSECTIONNAMES(kCmd), expected);
}

TEST_F(ProfileSectionsTest, SectionNamesBufferThatFits) {
    write("[Command]\r\n[Order]\r\n");
    std::string buffer(32, ' ');
    EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(buffer, 32, kCmd), 14u);
    EXPECT_EQ(buffer.substr(0, 16), std::string("Command\0Order\0\0", 15) + " ");
}

TEST_F(ProfileSectionsTest, SectionNamesBufferTooSmallCutsTheLastName) {
    write("[Command]\r\n[Order]\r\n");
    std::string buffer(12, ' ');
    EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(buffer, 12, kCmd), 10u);
    EXPECT_EQ(buffer, std::string("Command\0Or\0\0", 12));
    // Exactly one byte short of the closing NUL.
    buffer.assign(14, ' ');
    EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(buffer, 14, kCmd), 12u);
    EXPECT_EQ(buffer, std::string("Command\0Orde\0\0", 14));
}

TEST_F(ProfileSectionsTest, SectionNamesNeverWritePastTheBuffer) {
    write("[Command]\r\n[Order]\r\n");
    std::string buffer(6, ' ');
    EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(buffer, 65536, kCmd), 4u);
    EXPECT_EQ(buffer, std::string("Comm\0\0", 6));
    std::string none(4, ' ');
    EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(none, 0, kCmd), 0u);
    EXPECT_EQ(none, "    ");
}

TEST_F(ProfileSectionsTest, SectionNamesOfAMissingFileAreAnEmptyList) {
    std::string buffer(8, ' ');
    EXPECT_EQ(GETPRIVATEPROFILESECTIONNAMES(buffer, 8, ".\\NONE.INI"), 0u);
    EXPECT_EQ(buffer[0], '\0');
}

}  // namespace
}  // namespace kv::fs
