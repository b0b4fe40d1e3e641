// Name checks, path shortening, temporary names and line reading.
#include <chrono>
#include <deque>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "util/file_names.h"
#include "util/paths.h"
#include "util/wall_clock.h"

namespace kv::util {
namespace {

using namespace std::chrono_literals;

TEST(FileNameChecks, ShortNameRulesAndReservedNames) {
    EXPECT_TRUE(FNAME("prog1"));
    EXPECT_TRUE(FNAME("  ABCDEFGH  "));  // blanks around do not count
    EXPECT_FALSE(FNAME(""));
    EXPECT_FALSE(FNAME("   "));
    EXPECT_FALSE(FNAME("ABCDEFGHI"));  // nine characters
    EXPECT_FALSE(FNAME("A.B"));
    EXPECT_FALSE(FNAME("A B"));
    EXPECT_FALSE(FNAME("prn"));
    EXPECT_FALSE(FNAME("COM4"));
    EXPECT_TRUE(FNAME("COM5"));
    EXPECT_FALSE(FNAME("CAF\xc8"));  // beyond "~"
    for (char c : std::string("\"*+,/:<>?\\|")) EXPECT_FALSE(FNAME(std::string("A") + c)) << c;
}

TEST(FileNameChecks, LongNameAllowsDotsBlanksAndLength) {
    EXPECT_TRUE(LFNFNAME("report 2026.final.txt"));
    EXPECT_TRUE(LFNFNAME("A+B,C"));
    EXPECT_TRUE(LFNFNAME("CAF\xc8"));
    EXPECT_FALSE(LFNFNAME(" "));
    EXPECT_FALSE(LFNFNAME("lpt1"));
    for (char c : std::string("\"*/:<>?\\|")) EXPECT_FALSE(LFNFNAME(std::string("A") + c)) << c;
}

TEST(ShortPath, CutsFoldersAndPadsToWidth) {
    const std::string path = "C:\\AAAA\\BBBB\\CCCC\\file.txt";
    ASSERT_EQ(path.size(), 26u);
    EXPECT_EQ(SHORTPATH(path, 20), "C:\\...\\CCCC\\file.txt");
    EXPECT_EQ(SHORTPATH(path, 30), path + "    ");
    EXPECT_EQ(SHORTPATH(path + "   ", 26), path);  // trailing blanks do not count
    EXPECT_EQ(SHORTPATH("/home/user/projects/kv32/data/file.txt", 20), "/.../data/file.txt  ");
    // A tail without separators is kept whole; the result never exceeds the width.
    EXPECT_EQ(SHORTPATH("/a/verylongfilename.txt", 12), "/...name.txt");
    EXPECT_EQ(SHORTPATH("/a/b/c/d", 3), "/..");
    EXPECT_EQ(SHORTPATH("/a/b", 0), "");
}

// A clock that returns the given moments one per reading, then repeats the last.
class ScriptedClock {
  public:
    explicit ScriptedClock(std::deque<LocalDateTime> moments) : moments_(std::move(moments)) {
        set_wall_clock([this] {
            LocalDateTime now = moments_.front();
            if (moments_.size() > 1) moments_.pop_front();
            ++readings;
            return now;
        });
    }
    ~ScriptedClock() { set_wall_clock({}); }
    int readings = 0;

  private:
    std::deque<LocalDateTime> moments_;
};

LocalDateTime at(std::chrono::microseconds since_midnight) {
    return {2026, 12, 6, since_midnight};
}

TEST(TemporaryNames, DateAndRoundedHundredths) {
    EXPECT_EQ(temporary_name(at(0us)),
              "\x7f"
              "202612060");
    EXPECT_EQ(temporary_name(at(4999us)),
              "\x7f"
              "202612060");
    EXPECT_EQ(temporary_name(at(5000us)),
              "\x7f"
              "202612061");
    const auto last = 23h + 59min + 59s + 999999us;  // rounds up to 8640000
    EXPECT_EQ(temporary_name(at(last)),
              "\x7f"
              "202612068640000");
    EXPECT_EQ(temporary_name({2027, 1, 2, 1s}),
              "\x7f"
              "20270102100");
}

TEST(TemporaryNames, NewNameWaitsForTheNextHundredth) {
    ScriptedClock clock(
        {at(12s), at(12s + 3ms), at(12s + 4999us), at(12s + 6ms), at(12s + 6ms), at(12s + 16ms)});
    const std::string first = GETNEWFNAME();
    EXPECT_EQ(first,
              "\x7f"
              "202612061200");
    EXPECT_EQ(clock.readings, 4);  // read until the hundredth changed
    const std::string second = GETNEWFNAME();
    EXPECT_EQ(second,
              "\x7f"
              "202612061201");
    EXPECT_NE(first, second);
}

TEST(TemporaryNames, TwoRealCallsDiffer) {
    const std::string a = GETNEWFNAME();
    const std::string b = GETNEWFNAME();
    EXPECT_NE(a, b);
    EXPECT_EQ(a.substr(0, 9), b.substr(0, 9));
    EXPECT_GE(a.size(), 10u);
    EXPECT_LE(a.size(), 16u);
}

class ReadLine : public ::testing::Test {
  protected:
    platform::File& open_with(const std::string& bytes) {
        const auto path = dir_.write("LINES.TXT", bytes).string();
        EXPECT_TRUE(file_.open(path, platform::Access::Read, platform::Share::DenyNone,
                               platform::Disposition::OpenExisting));
        return file_;
    }
    test::TempDir dir_;
    platform::File file_;
};

TEST_F(ReadLine, ThreeLinesThenNothing) {
    platform::File& file = open_with("one\r\n\r\nthree\r\n");
    EXPECT_EQ(FREADLINE(file), "one");
    EXPECT_EQ(FREADLINE(file), "");
    EXPECT_EQ(FREADLINE(file), "three");
    EXPECT_EQ(FREADLINE(file), std::nullopt);
}

TEST_F(ReadLine, LongLineIsCutAndTwoBytesSkipped) {
    platform::File& file = open_with("ABCDEFGH\r\nxy\r\n");
    EXPECT_EQ(FREADLINE(file, 5), "ABCDE");
    EXPECT_EQ(FREADLINE(file, 5), "H");
    EXPECT_EQ(FREADLINE(file, 5), "xy");
    EXPECT_EQ(FREADLINE(file, 5), std::nullopt);
}

TEST_F(ReadLine, LastLineWithoutEndIsReturnedAsItStands) {
    platform::File& file = open_with("first\r\nlast");
    EXPECT_EQ(FREADLINE(file), "first");
    EXPECT_EQ(FREADLINE(file), "last");
    EXPECT_EQ(FREADLINE(file), std::nullopt);
}

TEST_F(ReadLine, AHugeMaximumReadsOnlyWhatTheLineNeeds) {
    const std::string long_line(10000, 'L');  // longer than one piece read
    platform::File& file = open_with(long_line + "\r\nnext\r\n");
    EXPECT_EQ(FREADLINE(file, std::size_t(1) << 62), long_line);
    EXPECT_EQ(FREADLINE(file, std::size_t(1) << 62), "next");
    EXPECT_EQ(FREADLINE(file, std::size_t(1) << 62), std::nullopt);
}

TEST(Drives, NoDriveLetters) {
    EXPECT_TRUE(ADISK().empty());
    EXPECT_TRUE(ADISK(1).empty());
    EXPECT_TRUE(ADISK(2).empty());
}

}  // namespace
}  // namespace kv::util
