// Handlers facing interruptions, refusals the disk forces and names the device should not use.
#include <unistd.h>

#include <gtest/gtest.h>

#include "core/command_loop.h"
#include "core/handlers.h"
#include "core/log.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "gui/main_window.h"
#include "tests/core/handler_fixture.h"
#include "util/text.h"

namespace {

using namespace std::chrono_literals;
using kv::test::save_args;

class LogLines : public kv::gui::LogPane {
  public:
    void append_line(const std::string& line) override { text_ += line + "\r\n"; }
    const std::string& text() const override { return text_; }

  private:
    std::string text_;
};

class HandlerFaults : public kv::test::HandlerFixture {
  protected:
    // Runs the command loop on what the device sends until Esc ends it (pressed at `esc_at`, or
    // by the test itself); the log's text. A loop that Esc does not end fails the test.
    std::string serve(const std::string& bytes, std::optional<kv::platform::Duration> esc_at) {
        device_sends(bytes);
        if (esc_at)
            link.at(*esc_at, [] { kv::platform::set_key_down(kv::platform::VK_ESCAPE, true); });
        link.on_idle([this, give_up = link.elapsed() + 1min] {
            if (link.elapsed() > give_up) throw std::runtime_error("Esc did not end the loop");
            return false;
        });
        LogLines pane;
        kv::core::ScopedLogSink sink([&pane](const std::string& l) { pane.append_line(l); });
        kv::core::KV(port, pane);
        return pane.text();
    }
};

TEST_F(HandlerFaults, EscInTheMiddleOfATransferAbandonsItAndKeepsNothing) {
    struct Case {
        std::string bytes;
        std::string logged;
        std::string not_sent;  // what the PC never gets to send
    };
    const kv::core::StoredHeader h{3, 0, 3, 0};
    dir.write("OLD", kv::core::encode_header(h) + "abc");
    const std::vector<Case> cases = {
        {"S" + save_args(3, 0, 1000, 0, "PROG") + "12345",
         "The Save of PROG was abandoned: Esc was pressed.", ""},
        {"C\r\x06\x06\x06", "The catalogue was abandoned: Esc was pressed.", "File(s)"},
        // Esc before the CR that ends a name, a line to print or a Save's header.
        {"LNAME", "The Load of NAME was abandoned: Esc was pressed.", ""},
        {"EOLD", "The Erase of OLD was abandoned: Esc was pressed.", ""},
        {"PSOME TEXT", "The line to print was abandoned: Esc was pressed.", ""},
        {"S", "The Save of (no name) was abandoned: Esc was pressed.", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logged);
        kv::core::receive_buffer().clear();
        const std::string log = serve(c.bytes, link.elapsed() + 1s);
        kv::platform::set_key_down(kv::platform::VK_ESCAPE, false);
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        if (!c.not_sent.empty()) {
            EXPECT_EQ(pc_sent(1).find(c.not_sent), std::string::npos);
        }
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "PROG"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "OLD"));
}

TEST_F(HandlerFaults, EscDuringALoadToADeviceThatStoppedReadingAbandonsIt) {
    // Far more than the line and its buffers can hold while the device does not read.
    dir.write("BIGL", kv::core::encode_header({3, 0, 60000, 0}) + std::string(1 << 20, 'y'));
    device_stops_reading_after(2000,
                               [] { kv::platform::set_key_down(kv::platform::VK_ESCAPE, true); });
    const std::string log = serve("LBIGL\r", std::nullopt);
    EXPECT_NE(log.find("The Load of BIGL was abandoned: Esc was pressed."), std::string::npos)
        << log;
    EXPECT_EQ(log.find("bytes sent"), std::string::npos) << log;
}

// Esc let go by the time the loop looks again: the loop goes on, and what the device still sends
// for the abandoned Save (here what reads as an Erase of every KEEP file) is dropped until the
// line has been quiet for a moment; the command after that is served.
TEST_F(HandlerFaults, WhatAnAbandonedCommandStillSendsIsDroppedUntilTheLineIsQuiet) {
    const std::string stored = kv::core::encode_header({3, 0, 1, 0}) + "k";
    dir.write("KEEP1", stored);
    dir.write("DROP", stored);
    const std::string rest = std::string(10, 'a') + "\rEKEEP*\r" + std::string(10, 'z');
    device_sends("S" + save_args(3, 0, static_cast<std::uint16_t>(10 + rest.size()), 0, "PROG") +
                 "0123456789");
    link.at(1s, [] { kv::platform::set_key_down(kv::platform::VK_ESCAPE, true); });
    link.arrive(1100ms, rest.substr(0, 9));
    link.arrive(1200ms, rest.substr(9));
    link.arrive(1500ms, "EDROP\r");  // after 250 ms of quiet: a command
    link.at(3s, [] { kv::platform::set_key_down(kv::platform::VK_ESCAPE, true); });
    // Esc is let go as the abandonment is logged.
    class ReleasingPane : public LogLines {
      public:
        void append_line(const std::string& line) override {
            if (line.find("abandoned") != std::string::npos)
                kv::platform::set_key_down(kv::platform::VK_ESCAPE, false);
            LogLines::append_line(line);
        }
    } pane;
    kv::core::KV(port, pane);
    EXPECT_NE(pane.text().find("The Save of PROG was abandoned: Esc was pressed.\r\n" +
                               std::to_string(rest.size()) +
                               " bytes that the device sent for it were dropped."),
              std::string::npos)
        << pane.text();
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "KEEP1"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "DROP"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "PROG"));
}

}  // namespace

namespace {

// What one command answered, and the log lines it wrote.
struct Answer {
    std::string sent;
    std::vector<std::string> log;
};

class DiskRefusals : public kv::test::HandlerFixture {
  protected:
    Answer run(char letter, const std::string& args) {
        Answer a;
        kv::core::ScopedLogSink sink([&a](const std::string& l) { a.log.push_back(l); });
        kv::core::receive_buffer().clear();
        device_sends(args);
        kv::core::find_command(letter)->handler(port);
        a.sent = pc_sent(1);
        return a;
    }
    std::string stored(const std::string& data = "x") {
        return kv::core::encode_header({3, 0, static_cast<std::uint16_t>(data.size()), 0}) + data;
    }
};

// Resets the protection of the settings file at the end of a test.
struct ProtectedSettings {
    explicit ProtectedSettings(const std::string& path) { kv::core::protect_settings_file(path); }
    ~ProtectedSettings() { kv::core::protect_settings_file(""); }
};

TEST_F(DiskRefusals, TheDeviceNeverWritesErasesOrShadowsTheSettingsFile) {
    ProtectedSettings settings((dir.path() / "KV32.INI").string());
    std::filesystem::create_directory(dir.path() / "SUB");
    struct Case {
        char letter;
        std::string args;
        std::string answer;
    };
    const std::vector<Case> refused = {
        {'S', save_args(3, 0, 1, 0, "KV32.INI") + "x", "\x0f"},
        {'S', save_args(3, 0, 1, 0, "kv32.ini.") + "x", "\x0f"},
        {'S', save_args(3, 0, 1, 0, "SUB/../Kv32.Ini") + "x", "\x0f"},
        {'S', save_args(1, 0, 1, 0, "KV32.INI/") + "x", "\x0f"},
        {'S', save_args(3, 0, 1, 0, "SUB/KV32.INI") + "x", std::string(1, '\0')},  // elsewhere
    };
    for (const auto& c : refused) EXPECT_EQ(run(c.letter, c.args).sent, c.answer) << c.args;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "KV32.INI"));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "SUB/KV32.INI"));

    // A settings file that a device stored before (it would refuse the start): kept all the same.
    dir.write("KV32.INI", stored());
    dir.write("PROG", stored());
    EXPECT_EQ(run('E', "kv32.ini\r").sent, "\x0f");
    EXPECT_EQ(run('E', "*\r").sent, std::string(1, '\0'));
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "KV32.INI"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "PROG"));
    EXPECT_EQ(run('E', "K*\r").sent, "\x0f");  // it alone matched, and it was kept
}

TEST_F(DiskRefusals, LinksPlacedByTheUserAreNeverRemovedNorReplaced) {
    const auto elsewhere = dir.path() / "ELSEWHERE";
    std::filesystem::create_directory(elsewhere);
    dir.write("ELSEWHERE/KEEP", stored());
    std::filesystem::create_directory_symlink(elsewhere, dir.path() / "FOLDERLINK");
    std::filesystem::create_symlink(dir.path() / "MISSING", dir.path() / "DANGLING");
    std::filesystem::create_symlink(elsewhere / "KEEP", dir.path() / "FILELINK");
    EXPECT_EQ(run('E', "FOLDERLINK/\r").sent, "\x0f");
    EXPECT_EQ(run('S', save_args(3, 0, 1, 0, "DANGLING") + "x").sent, "\x0f");
    EXPECT_EQ(run('E', "FILELINK\r").sent, "\x0f");
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "FOLDERLINK"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "DANGLING"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "MISSING"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.path() / "FILELINK"));
    EXPECT_TRUE(std::filesystem::exists(elsewhere / "KEEP"));
}

TEST_F(DiskRefusals, AFolderThatCannotBeWrittenRefusesAndTheLogSaysWhy) {
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser may write anywhere";
    std::filesystem::create_directory(dir.path() / "RO");
    dir.write("RO/PROG", stored());
    std::filesystem::permissions(
        dir.path() / "RO", std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    struct Case {
        char letter;
        std::string args;
    };
    for (const Case& c : std::vector<Case>{{'S', save_args(3, 0, 1, 0, "RO/NEW") + "x"},
                                           {'S', save_args(1, 0, 1, 0, "RO/SUB/") + "x"},
                                           {'E', "RO/PROG\r"},
                                           {'E', "RO/*\r"}}) {
        const Answer a = run(c.letter, c.args);
        EXPECT_EQ(a.sent, "\x0f") << c.args;
        ASSERT_EQ(a.log.size(), 1u) << c.args;
        EXPECT_NE(a.log[0].find("Permission denied"), std::string::npos) << a.log[0];
    }
    std::filesystem::permissions(dir.path() / "RO", std::filesystem::perms::owner_all);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "RO/PROG"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "RO/NEW"));
}

}  // namespace

namespace {

class LongNames : public DiskRefusals {};

TEST_F(LongNames, PathsLongerThanAPathCanBeAreRefusedAndNamesAreLoggedCut) {
    const std::string huge(5000, 'A');
    const std::string pattern = std::string(3000, '*') + std::string(2000, '?');
    for (const auto& [letter, args] :
         std::vector<std::pair<char, std::string>>{{'S', save_args(3, 0, 1, 0, huge) + "x"},
                                                   {'L', huge + "\r"},
                                                   {'E', pattern + "\r"},
                                                   {'C', pattern + "\r"}}) {
        kv::core::ScopedVerboseLog verbose(true);
        const Answer a = run(letter, args);
        EXPECT_EQ(a.sent, "\x0f") << letter;
        ASSERT_EQ(a.log.size(), 1u) << letter;
        EXPECT_LT(a.log[0].size(), 300u) << letter;
        EXPECT_NE(
            a.log[0].find(std::string(200, letter == 'E' || letter == 'C' ? '*' : 'A') + "\x85"),
            std::string::npos)
            << a.log[0];
    }
    // A long name that is a name: stored, and logged cut.
    const std::string long_name(250, 'N');
    kv::core::ScopedVerboseLog verbose(true);
    const Answer a = run('S', save_args(3, 0, 1, 0, long_name) + "x");
    EXPECT_EQ(a.sent, std::string(1, '\0'));
    ASSERT_EQ(a.log.size(), 1u);
    EXPECT_EQ(a.log[0], std::string(200, 'N') + "\x85: 1 byte saved");
}

// Names the file system cannot hold are refused before the 0x00, never acknowledged and dropped;
// a part of exactly the longest length is stored.
TEST_F(LongNames, NamesTheFileSystemCannotHoldAreRefusedBeforeTheAnswer) {
    std::string deep;  // under a path's length as sent, over it below the served folder
    while (deep.size() < 4000) deep += std::string(199, 'D') + "/";
    const std::string part(256, 'N');
    const struct {
        std::string args;
        std::string sent;
        std::string why;
    } cases[] = {
        {save_args(3, 0, 1, 0, std::string(300, 'N')) + "x", "\x0f", "300 bytes long"},
        {save_args(3, 0, 1, 0, part + ".  ") + "x", "\x0f", "256 bytes long"},
        {save_args(3, 0, 1, 0, "SUB/" + part) + "x", "\x0f", "256 bytes long"},
        {save_args(0, 0, 1, 0, part + "/") + "x", "\x0f", "256 bytes long"},
        {save_args(3, 0, 1, 0, deep + std::string(4095 - deep.size(), 'F')) + "x", "\x0f",
         "longer than a path can be"},
        {save_args(3, 0, 1, 0, std::string(255, 'N') + ". ") + "x", std::string(1, '\0'), ""},
    };
    std::filesystem::create_directory(dir.path() / "SUB");
    for (const auto& c : cases) {
        const Answer a = run('S', c.args);
        EXPECT_EQ(a.sent, c.sent) << c.why;
        if (c.why.empty()) continue;
        ASSERT_EQ(a.log.size(), 1u) << c.why;
        EXPECT_EQ(a.log[0].rfind("Cannot save ", 0), 0u) << a.log[0];
        EXPECT_NE(a.log[0].find(c.why), std::string::npos) << a.log[0];
    }
    EXPECT_TRUE(std::filesystem::exists(dir.path() / std::string(255, 'N')));
}

TEST(LogText, BytesThatWindows1252LeavesUndefinedAreEscapedLikeControlBytes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\x81\x8D\x8F\x90\x9D", "\\x81\\x8D\\x8F\\x90\\x9D"},
        {"caff\xE8 \x80 \x85", "caff\xE8 \x80 \x85"},  // è, € and … are characters
        {"\x9B[2J", "\x9B[2J"},                        // › in Windows-1252
    };
    for (const auto& [line, shown] : cases) EXPECT_EQ(kv::util::escape_log_text(line), shown);
}

}  // namespace
