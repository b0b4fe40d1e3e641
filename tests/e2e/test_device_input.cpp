// What a careless or hostile device sends: path forms in every command and position, names
// that reach the served root through dots, and served folders whose own names end in dots.
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"
#include "tools/kvdev/random_commands.h"

namespace {

using namespace std::chrono_literals;
using namespace kv::dev;
namespace fsys = std::filesystem;

std::string trimmed(std::string line) {
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

// The path line and the entry lines of a catalogue, without padding.
struct Listed {
    std::string path;
    std::vector<std::string> entries;
};
Listed listed(const Catalogue& c) {
    Listed l;
    if (c.lines.size() < 8) return l;
    l.path = trimmed(c.lines[3]);
    for (std::size_t i = 5; i + 3 < c.lines.size(); ++i) l.entries.push_back(trimmed(c.lines[i]));
    return l;
}

std::string replaced(std::string text, const std::string& form) {
    for (auto at = text.find('%'); at != std::string::npos; at = text.find('%', at + form.size()))
        text.replace(at, 1, form);
    return text;
}

class DeviceInput : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(kv.started()) << kv.process().err(); }
    void TearDown() override { EXPECT_EQ(kv.stop(), 0) << kv.process().err(); }
    DeviceLink& dev() { return kv.device(); }

    kv::test::Kv32OnPty kv;
};

TEST_F(DeviceInput, EveryPathFormInEveryCommandAndPositionIsAnswered) {
    ASSERT_EQ(make_folder(dev(), "X"), kOk);
    ASSERT_EQ(save(dev(), "X/PROG", "data"), kOk);
    const std::vector<std::string> forms = {".", "..", "/", "//", "\\", "X/..", "/./", "..\\.."};
    const std::vector<std::string> positions = {"%", "%/", "%/A", "A/%", "%/%", "%*", "X/%/PROG"};
    auto is_status = [](std::uint8_t s) { return s == kOk || s == kRefused || s == 26; };
    for (const std::string start : {"/", "/X"}) {
        ASSERT_EQ(change_folder(dev(), start), kOk) << start;
        for (const auto& form : forms) {
            for (const auto& position : positions) {
                const std::string name = replaced(position, form);
                const std::string folder = name.back() == '/' ? name : name + "/";
                SCOPED_TRACE("from " + start + ": " + name);
                try {
                    EXPECT_TRUE(is_status(save(dev(), name, "d")));
                    EXPECT_TRUE(is_status(make_folder(dev(), folder)));
                    EXPECT_TRUE(is_status(load(dev(), name).status));
                    const Listed l = listed(catalogue(dev(), name));
                    EXPECT_EQ(l.path.front(), '/');
                    EXPECT_TRUE(is_status(erase(dev(), name)));
                    EXPECT_TRUE(is_status(remove_folder(dev(), folder)));
                    // Entering last: the next name starts from where this one led.
                    EXPECT_TRUE(is_status(change_folder(dev(), folder)));
                    ASSERT_EQ(change_folder(dev(), start), kOk);
                } catch (const ProtocolError& e) {
                    FAIL() << e.what() << "\n" << kv.process().err();
                }
            }
        }
    }
    EXPECT_TRUE(fsys::is_directory(kv.dir().path()));
    // TearDown: KV32 still runs, and ends normally (the error handler's last rule ends it with 3).
}

TEST_F(DeviceInput, NamesThatResolveToTheRootListAndEnterTheRoot) {
    ASSERT_EQ(make_folder(dev(), "GAMES"), kOk);
    ASSERT_EQ(save(dev(), "PROG", "data", {0, 0, 10}), kOk);
    const std::string own_name = kv.dir().path().filename().string().substr(0, 10);
    for (const std::string pattern : {"/.", "./..", "GAMES/..", "/..", ".", "..", "/", "//"}) {
        SCOPED_TRACE(pattern);
        const Listed l = listed(catalogue(dev(), pattern));
        EXPECT_EQ(l.path, "/");
        EXPECT_EQ(l.entries, (std::vector<std::string>{"GAMES      DIR", "PROG       BAS LINE 10"}))
            << "the served folder's own name is " << own_name;
    }
    ASSERT_EQ(change_folder(dev(), "GAMES"), kOk);
    EXPECT_EQ(listed(catalogue(dev(), "..")).path, "/");
    EXPECT_EQ(listed(catalogue(dev(), ".")).path, "/GAMES");
    EXPECT_EQ(change_folder(dev(), "/"), kOk);  // "L /" names the root
    EXPECT_EQ(listed(catalogue(dev(), "")).path, "/");
    EXPECT_EQ(remove_folder(dev(), "/"), kRefused);
    EXPECT_EQ(remove_folder(dev(), "GAMES/.."), kRefused);
    EXPECT_TRUE(fsys::is_directory(kv.dir().path()));
}

// A served folder named "DATA." beside a folder "DATA": the device sees only the first.
TEST(ServedRootWithDots, IsUsedExactlyAsGiven) {
    kv::test::Kv32OnPty kv({"--root", "DATA./IN."}, {}, -1, [](const kv::test::TempDir& dir) {
        dir.write("DATA./IN./OWN", std::string("KVFILE\x03\0\0\x01\0\0\0x", 14));
        dir.write("DATA/IN/SECRET", std::string("KVFILE\x03\0\0\x01\0\0\0s", 14));
    });
    ASSERT_TRUE(kv.started()) << kv.process().err();
    auto& dev = kv.device();
    const Listed l = listed(catalogue(dev, ""));
    EXPECT_EQ(l.entries, (std::vector<std::string>{"OWN        CDE 0,1"}));
    EXPECT_EQ(load(dev, "SECRET").status, kRefused);
    EXPECT_EQ(load(dev, "OWN").data, "x");
    EXPECT_EQ(save(dev, "NEW", "n"), kOk);
    EXPECT_EQ(erase(dev, "OWN"), kOk);  // also: the Save before it has been written
    EXPECT_TRUE(fsys::exists(kv.dir().path() / "DATA./IN./NEW"));
    EXPECT_FALSE(fsys::exists(kv.dir().path() / "DATA/IN/NEW"));
    EXPECT_FALSE(fsys::exists(kv.dir().path() / "DATA./IN./OWN"));
    EXPECT_TRUE(fsys::exists(kv.dir().path() / "DATA/IN/SECRET"));
    EXPECT_EQ(kv.stop(), 0);
}

}  // namespace

namespace {

TEST(StartUp, ASettingsFileThatIsAStoredFileStopsTheStartSayingWhy) {
    kv::test::Kv32OnPty kv(
        {}, std::string("KVFILE\x03\0\0\x0a\0\0\0[Impostazioni]\r\nRadice=/\r\n", 37));
    EXPECT_EQ(kv.process().wait_exit(kv::test::kStartTimeout), 1);
    EXPECT_NE(kv.process().err().find("KV32.INI"), std::string::npos) << kv.process().err();
    EXPECT_NE(kv.process().err().find("begins with KVFILE"), std::string::npos);
}

TEST(StartUp, AServedFolderThatCannotBeWrittenIsWarnedOf) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
    kv::test::Kv32OnPty kv({"--root", "RO"}, {}, -1, [](const kv::test::TempDir& dir) {
        fsys::create_directory(dir.path() / "RO");
        fsys::permissions(dir.path() / "RO", fsys::perms::owner_read | fsys::perms::owner_exec);
    });
    ASSERT_TRUE(kv.started()) << kv.process().err();
    const auto warning = kv.process().wait_for_prefix("Warning: ", kv::test::kReplyTimeout);
    ASSERT_TRUE(warning);
    EXPECT_NE(warning->find("Permission denied"), std::string::npos) << *warning;
    EXPECT_EQ(kv.stop(), 0);
    fsys::permissions(kv.dir().path() / "RO", fsys::perms::owner_all);
}

}  // namespace

namespace {

// A seeded stream of random commands with names good and bad: every one is answered, KV32 still
// answers exactly after them, and it ends cleanly.
TEST_F(DeviceInput, ASeededStreamOfRandomCommandsIsAnsweredThroughout) {
    RandomCommands stream(20261208);
    for (int i = 0; i < 3000; ++i) {
        // KV32 logs every command to its standard output, a pipe that holds some 64 KiB: read it
        // as the stream goes, or KV32 stops in the middle of a log line and answers nothing more.
        kv.process().out();
        try {
            const auto sent = stream.send_next(dev());
            ASSERT_TRUE(sent.answered) << sent.what;
        } catch (const ProtocolError& e) {
            const auto lines = kv.process().out_lines();
            std::string tail;
            for (std::size_t l = lines.size() > 6 ? lines.size() - 6 : 0; l < lines.size(); ++l)
                tail += lines[l] + "\n";
            FAIL() << "command " << stream.sent() - 1 << ": " << e.what() << "\n" << tail;
        }
    }
    EXPECT_EQ(exact_round(dev()), "");
    EXPECT_EQ(listed(catalogue(dev(), "")).path, "/");
}

}  // namespace
