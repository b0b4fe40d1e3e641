// Disk checks, DELFILE and DELROOT against real folders: results, effects on disk, the messages
// shown and the release of the system lock before each message.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/util/test_paths_boxes.h"
#include "util/abandon.h"
#include "util/disk_checks.h"
#include "util/system_unlock.h"

namespace kv::util {
namespace {

namespace fs = std::filesystem;

class DiskCheckTest : public ::testing::Test {
  protected:
    bool exists(const std::string& name) const { return fs::exists(dir_.path() / name); }
    std::string at(const std::string& name) const { return (dir_.path() / name).string(); }
    void make_read_only(const std::string& name) const {
        fs::permissions(dir_.path() / name, fs::perms::owner_write, fs::perm_options::remove);
    }
    bool folder_is_empty_of_probes() const {
        for (const auto& entry : fs::directory_iterator(dir_.path())) {
            if (entry.path().filename().string().front() == '\x7f') return false;
        }
        return true;
    }

    // Each failing check releases the system lock and then shows its message.
    static std::vector<std::string> failure(const std::string& message) {
        return {"unlock", message};
    }
    std::vector<std::string> taken() { return std::exchange(events, {}); }

    test::TempDir dir_;
    std::vector<std::string> events;
    test::BoxRecorder boxes_{events};
    ScopedSystemUnlocker unlock_{[this] { events.push_back("unlock"); }};
};

const std::string kNotReady = "Disco non pronto.";
const std::string kProtected = "Disco protetto da scrittura.";
const std::string kNoAccess = "File non accessibile.";
const std::string kFull = "Spazio su disco insufficiente.";

TEST_F(DiskCheckTest, ReadyWhenTheFolderCanBeMadeCurrent) {
    dir_.write("F.TXT", "");
    test::ScopedCurrentDir inside(dir_.path());
    EXPECT_TRUE(ISREADY(dir_.str()));
    EXPECT_TRUE(ISREADY(""));
    EXPECT_TRUE(ISREADY(dir_.str() + "/"));
    EXPECT_TRUE(taken().empty());
    EXPECT_FALSE(ISREADY(at("MISSING")));
    EXPECT_EQ(taken(), failure(kNotReady));
    EXPECT_FALSE(ISREADY("F.TXT", false));  // the lock is released, nothing is shown
    EXPECT_EQ(taken(), std::vector<std::string>{"unlock"});
    EXPECT_EQ(fs::current_path(), dir_.path());
}

TEST_F(DiskCheckTest, ProtectedWhenNothingCanBeCreated) {
    EXPECT_FALSE(ISPROTECTED(dir_.str()));
    EXPECT_TRUE(folder_is_empty_of_probes());
    EXPECT_TRUE(taken().empty());
    EXPECT_TRUE(ISPROTECTED(at("MISSING")));  // not ready counts as protected, told as such
    EXPECT_EQ(taken(), failure(kNotReady));
}

TEST_F(DiskCheckTest, ProtectedFolderOfTheSystem) {
    // Files cannot be created among the kernel's objects, whoever asks.
    if (!fs::is_directory("/sys/kernel")) GTEST_SKIP() << "no /sys";
    EXPECT_TRUE(ISPROTECTED("/sys/kernel"));
    EXPECT_EQ(taken(), failure(kProtected));
}

TEST_F(DiskCheckTest, ReadOnlyOnlyWhenWritingIsDenied) {
    dir_.write("RO.TXT", "");
    dir_.write("RW.TXT", "");
    make_read_only("RO.TXT");
    EXPECT_TRUE(ISREADONLY(at("ro.txt")));
    EXPECT_EQ(taken(), failure(kNoAccess));
    EXPECT_FALSE(ISREADONLY(at("RW.TXT")));
    EXPECT_FALSE(ISREADONLY(at("MISSING.TXT")));
    EXPECT_TRUE(taken().empty());
}

TEST_F(DiskCheckTest, FullWhenTheRoomIsLacking) {
    EXPECT_FALSE(ISFULL(""));
    EXPECT_FALSE(ISFULL(dir_.str()));
    EXPECT_FALSE(ISFULL(dir_.str(), 1));
    EXPECT_TRUE(taken().empty());
    EXPECT_TRUE(ISFULL(dir_.str(), std::numeric_limits<std::uint64_t>::max()));
    EXPECT_EQ(taken(), failure(kFull));
    EXPECT_TRUE(ISFULL(at("MISSING")));
    EXPECT_EQ(taken(), failure(kNotReady));
}

TEST_F(DiskCheckTest, DelFileErasesOrAbandons) {
    dir_.write("A.TXT", "");
    dir_.write("RO.TXT", "");
    make_read_only("RO.TXT");
    DELFILE(at("a.txt"));
    EXPECT_FALSE(exists("A.TXT"));
    EXPECT_NO_THROW(DELFILE(at("GONE.TXT")));
    EXPECT_TRUE(taken().empty());
    EXPECT_THROW(DELFILE(at("RO.TXT")), Abandon);
    EXPECT_TRUE(exists("RO.TXT"));
    EXPECT_EQ(taken(), failure(kNoAccess));
    EXPECT_THROW(DELFILE(at("MISSING/X.TXT")), Abandon);  // its folder is not ready
    EXPECT_EQ(taken(), failure(kNotReady));
    EXPECT_TRUE(folder_is_empty_of_probes());
}

TEST_F(DiskCheckTest, DelFileOfABareNameChecksTheCurrentFolder) {
    dir_.write("B.TXT", "");
    test::ScopedCurrentDir inside(dir_.path());
    DELFILE("b.txt");
    EXPECT_FALSE(exists("B.TXT"));
    EXPECT_TRUE(folder_is_empty_of_probes());
}

TEST_F(DiskCheckTest, DelRootErasesOrdinaryFiles) {
    dir_.write("R/A.TXT", "");
    dir_.write("R/b.dbf", "");
    dir_.write("R/.hidden", "");
    dir_.write("R/S/INNER", "");
    DELROOT(at("R"));
    EXPECT_FALSE(exists("R/A.TXT"));
    EXPECT_FALSE(exists("R/b.dbf"));
    EXPECT_TRUE(exists("R/.hidden"));
    EXPECT_TRUE(exists("R/S/INNER"));
    EXPECT_TRUE(taken().empty());
}

TEST_F(DiskCheckTest, DelRootAbandonsAtAFileItCannotWrite) {
    dir_.write("R/RO.TXT", "");
    make_read_only("R/RO.TXT");
    EXPECT_THROW(DELROOT(at("R")), Abandon);
    EXPECT_TRUE(exists("R/RO.TXT"));
    EXPECT_EQ(taken(), failure(kNoAccess));
    EXPECT_THROW(DELROOT(at("MISSING")), Abandon);
    EXPECT_EQ(taken(), failure(kNotReady));
}

}  // namespace
}  // namespace kv::util
