// FINDFIRSTFILE, FINDNEXTFILE and FINDCLOSE over the 320-byte find-data record.
#include <filesystem>
#include <set>

#include <gtest/gtest.h>

#include "fs/directory.h"
#include "fs/find.h"
#include "platform/files.h"
#include "tests/support/temp_dir.h"

namespace kv::fs {
namespace {

TEST(FindRecord, IsZeroFilledAndLaidOutWithoutPadding) {
    Win32FindData data = OWIN32FINDDATA();
    EXPECT_EQ(data.buffer(), std::string(320, '\0'));
    EXPECT_EQ(find_record::SHORT_NAME + find_record::SHORT_NAME_SIZE, 318u);
    EXPECT_EQ(data.nFileAttr(), 0u);
    EXPECT_EQ(data.cFileName(), "");
    EXPECT_EQ(data.cLastWTime(), std::string(8, '\0'));
}

class Find : public ::testing::Test {
  protected:
    kv::test::TempDir dir;
    kv::test::ScopedCurrentDir cd{dir.path()};
};

TEST_F(Find, WalksEveryMatchIncludingFoldersHiddenAndSystem) {
    dir.write("A.TXT", "12345");
    dir.write(".h", "");
    std::filesystem::create_directory(dir.path() / "SUB");
    Win32FindData data = OWIN32FINDDATA();
    std::int32_t handle = FINDFIRSTFILE("*", data.buffer());
    ASSERT_GE(handle, 0);
    std::set<std::string> names{data.cFileName()};
    while (FINDNEXTFILE(handle, data.buffer())) names.insert(data.cFileName());
    EXPECT_EQ(names, (std::set<std::string>{".", "..", ".h", "A.TXT", "SUB"}));
    EXPECT_FALSE(FINDNEXTFILE(handle, data.buffer()));
    EXPECT_TRUE(FINDCLOSE(handle));
    EXPECT_FALSE(FINDCLOSE(handle));
    EXPECT_FALSE(FINDNEXTFILE(handle, data.buffer()));
}

TEST_F(Find, RecordHoldsAttributesSizeTimesAndName) {
    dir.write("A.TXT", "12345");
    platform::FileTime when = platform::filetime_from_unix(1300000000, 0);
    ASSERT_TRUE(platform::set_last_write_time("A.TXT", when));
    ASSERT_TRUE(SETFILEATTRIBUTES("A.TXT", 33));
    std::string buffer(320, 'x');
    std::int32_t handle = FINDFIRSTFILE("a.txt", buffer);
    ASSERT_GE(handle, 0);
    Win32FindData data;
    data.buffer() = buffer;
    EXPECT_EQ(data.nFileAttr(), 33u);
    EXPECT_EQ(data.nFileSizeH(), 0u);
    EXPECT_EQ(data.nFileSizeL(), 5u);
    std::string raw = data.cLastWTime();
    std::uint64_t ticks = 0;
    for (int i = 7; i >= 0; --i) ticks = (ticks << 8) | static_cast<unsigned char>(raw[i]);
    EXPECT_EQ(ticks, when);
    EXPECT_EQ(data.cFileName(), "A.TXT");
    EXPECT_EQ(buffer.substr(find_record::FILE_NAME + 5, 255), std::string(255, '\0'));
    EXPECT_EQ(data.cShortName(), "");
    EXPECT_TRUE(FINDCLOSE(handle));
}

TEST_F(Find, FailsWithoutMatchesOrWithAShortBuffer) {
    dir.write("A", "");
    std::string buffer(320, '\0');
    EXPECT_EQ(FINDFIRSTFILE("nothing*", buffer), -1);
    EXPECT_EQ(FINDFIRSTFILE(std::nullopt, buffer), -1);
    std::string short_buffer(319, 'x');
    EXPECT_EQ(FINDFIRSTFILE("A", short_buffer), -1);
    EXPECT_EQ(short_buffer, std::string(319, 'x'));  // nothing written past its end
    std::string longer(400, 'y');
    std::int32_t handle = FINDFIRSTFILE("A", longer);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(longer.substr(320), std::string(80, 'y'));
    FINDCLOSE(handle);
}

}  // namespace
}  // namespace kv::fs
