#include "fs/profile.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace kv::fs {
namespace {

using test::ScopedCurrentDir;
using test::TempDir;

constexpr const char* kIni = ".\\KV32.INI";

class SettingsFileTest : public ::testing::Test {
  protected:
    TempDir dir;
    ScopedCurrentDir cwd{dir.path()};
};

TEST_F(SettingsFileTest, ReadsThePortWithBlanksRemoved) {
    dir.write("KV32.INI", "[Impostazioni]\r\nPorta = COM3 \r\n");
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", kIni), "COM3");
}

TEST_F(SettingsFileTest, MissingKeyGivesTheDefaultLessItsTrailingBlanks) {
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", kIni), "");
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", " COM1  ", kIni), " COM1");
    dir.write("KV32.INI", "[Impostazioni]\r\nPorta=\r\n");
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "COM9", kIni), "");
}

TEST_F(SettingsFileTest, LongValuesComeBackWhole) {
    const std::string value(5000, 'v');
    ASSERT_TRUE(WRITEPPROSTRING("S", "k", value, kIni));
    EXPECT_EQ(GETPVPROFSTRING("S", "k", "", kIni), value);
}

TEST_F(SettingsFileTest, WriteCreatesTheFileAndThenReplacesTheValue) {
    ASSERT_TRUE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1", kIni));
    EXPECT_EQ(dir.read("KV32.INI"), "[Impostazioni]\r\nPorta=COM1\r\n");
    ASSERT_TRUE(WRITEPPROSTRING("Impostazioni", "Porta", "COM2", kIni));
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", kIni), "COM2");
}

TEST_F(SettingsFileTest, WriteIntoAMissingFolderFails) {
    EXPECT_FALSE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1", ".\\NONE\\KV32.INI"));
}

TEST_F(SettingsFileTest, KeyListHoldsEachNameEndedByNul) {
    dir.write("CMD.INI", "[Table]\nTable1=a\nTable2=b\n");
    EXPECT_EQ(GETPVPROFSTRING("Table", std::nullopt, "", ".\\CMD.INI"),
              std::string("Table1\0Table2\0", 14));
    EXPECT_EQ(GETPVPROFSTRING("Other", std::nullopt, "x", ".\\CMD.INI"), "");
}

}  // namespace
}  // namespace kv::fs
