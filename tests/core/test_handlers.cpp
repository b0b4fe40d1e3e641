// The disk command handlers on a manual clock: time-outs cost nothing here.
#include <gtest/gtest.h>

#include "core/catalogue_lines.h"
#include "core/command_loop.h"
#include "core/handlers.h"
#include "core/log.h"
#include "core/progress.h"
#include "core/stored_file.h"
#include "gui/main_window.h"
#include "tests/core/handler_fixture.h"

namespace {

using namespace std::chrono_literals;
using kv::test::save_args;

class Handlers : public kv::test::HandlerFixture {};

TEST_F(Handlers, SaveStoresTheExampleByteForByte) {
    device_sends(save_args(3, 0x8000, 3, 0, "PROG") + "\x01\x02\x03");
    kv::core::SAVE(port);
    EXPECT_EQ(pc_sent(1), std::string(1, '\0'));
    EXPECT_EQ(dir.read("PROG"), std::string("KVFILE\x03\x00\x80\x03\x00\x00\x00\x01\x02\x03", 16));
    EXPECT_EQ(link.elapsed(), 0s);
}

TEST_F(Handlers, SaveWithMissingBytesWaitsTwoSecondsForEachAndKeepsTheAnnouncedLength) {
    device_sends(save_args(1, 0, 5, 0, "SHORT") + "ab");
    kv::core::SAVE(port);
    EXPECT_EQ(link.elapsed(), 6s);
    EXPECT_EQ(dir.read("SHORT"), std::string("KVFILE\x01\x00\x00\x05\x00\x00\x00", 13) + "ab");
}

TEST_F(Handlers, HeaderBytesThatNeverComeAreZeroAndTheNameStillWaitsForItsCr) {
    device_sends("\x07");
    link.arrive(20s, "N\r");
    kv::core::SAVE(port);  // six header bytes time out, then the name, then 0 data bytes
    EXPECT_EQ(pc_sent(1), std::string(1, '\0'));
    EXPECT_EQ(dir.read("N"), std::string("KVFILE\x07\x00\x00\x00\x00\x00\x00", 13));
}

TEST_F(Handlers, LoadOfAShortStoredFileIsRefused) {
    dir.write("TINY", "KVFILE\x01");
    device_sends("TINY\r");
    kv::core::LOAD(port);
    EXPECT_EQ(pc_sent(1), "\x0f");
}

TEST_F(Handlers, LoadSendsWhatTheFileHoldsNotWhatItsHeaderSays) {
    kv::core::StoredHeader h{3, 1, 100, 2};
    dir.write("LOST", kv::core::encode_header(h) + std::string(60, 'x'));
    device_sends("lost\r");
    kv::core::LOAD(port);
    EXPECT_EQ(pc_sent(68),
              std::string(1, '\0') + kv::core::encode_fields(h) + std::string(60, 'x'));
}

TEST_F(Handlers, SaveThatCannotBeWrittenIsLoggedNamingTheFile) {
    std::vector<std::string> lines;
    {
        kv::core::ScopedLogSink sink([&](const std::string& l) { lines.push_back(l); });
        device_sends(save_args(3, 0, 2, 0, "NOSUCH/PROG") + "hi");
        kv::core::SAVE(port);
    }
    EXPECT_EQ(pc_sent(1), "\x0f");  // refused before the data, never reported as saved
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("NOSUCH/PROG"), std::string::npos) << lines[0];
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "NOSUCH"));
}

TEST_F(Handlers, CatalogueOfAnEmptyPatternDoesNotWaitForAcknowledgementsThatCame) {
    kv::core::StoredHeader h{0, 0, 0, 10};
    dir.write("PROG", kv::core::encode_header(h));
    dir.write("TINY", "KVFILE");  // too short for a header: not listed
    device_sends("\r" + std::string(20, '\x06'));
    kv::core::CAT(port);
    const std::string out = pc_sent(1 + 32 * 9 + 1);  // no "." or ".." at the top
    EXPECT_EQ(link.elapsed(), 0s);
    EXPECT_EQ(out.front(), '\0');
    EXPECT_EQ(out.back(), '\0');
    EXPECT_NE(out.find("PROG       BAS LINE 10          "), std::string::npos);
    EXPECT_EQ(out.find("TINY"), std::string::npos);
    EXPECT_NE(out.find("1 File(s)                       "), std::string::npos);
}

TEST_F(Handlers, SaveLoadAndCatalogueReportTheirProgressAndEndIt) {
    struct Report {
        std::string text;
        std::size_t done, total;
    };
    std::vector<Report> reports;
    kv::core::ScopedProgressSink sink(
        [&](const std::string& text, std::size_t done, std::size_t total) {
            reports.push_back({text, done, total});
        });
    auto expect_progress = [&](const std::string& first, const std::string& last,
                               std::size_t at_most) {
        SCOPED_TRACE(first);
        ASSERT_GE(reports.size(), 3u);
        EXPECT_EQ(reports.front().text, first);
        EXPECT_EQ(reports[reports.size() - 2].text, last);
        EXPECT_EQ(reports.back().total, 0u);  // the progress taken away
        EXPECT_LE(reports.size(), at_most);   // thinned out
        for (std::size_t i = 1; i + 1 < reports.size(); ++i)
            EXPECT_GT(reports[i].done, reports[i - 1].done);
        reports.clear();
    };
    device_sends(save_args(3, 0, 3000, 0, "BIG") + std::string(3000, 'x'));
    kv::core::SAVE(port);
    expect_progress("Saving BIG: 0 of 3000 bytes", "Saving BIG: 3000 of 3000 bytes", 103);
    device_sends("BIG\r");
    kv::core::LOAD(port);
    expect_progress("Loading BIG: 0 of 3000 bytes sent", "Loading BIG: 3000 of 3000 bytes sent", 5);
    device_sends("\r" + std::string(20, '\x06'));
    kv::core::CAT(port);
    expect_progress("Listing *: 0 of 9 lines", "Listing *: 9 of 9 lines", 11);
    pc_sent();
    // A Save refused before its data shows no progress at all.
    device_sends(save_args(3, 0, 3000, 0, "BIG"));
    kv::core::SAVE(port);
    EXPECT_TRUE(reports.empty());
}

class NullPane : public kv::gui::LogPane {
  public:
    void append_line(const std::string& line) override { text_ += line + "\r\n"; }
    const std::string& text() const override { return text_; }

  private:
    std::string text_;
};

TEST_F(Handlers, TerminationEndsEveryWaitAndTheCommandLoop) {
    // A name without its CR, a Save's data that stops short, the wait for a command.
    for (const std::string& cut_short :
         {std::string("LPART"), "S" + save_args(0, 0, 9, 0, "D") + "ab", std::string()}) {
        kv::core::receive_buffer().clear();
        kv::platform::clear_termination_request();
        const auto before = link.elapsed();
        device_sends(cut_short);
        link.at(before + 1s, [] { kv::platform::request_termination(); });
        NullPane pane;
        kv::core::KV(port, pane);
        EXPECT_EQ(link.elapsed(), before + 1s) << cut_short;
        EXPECT_EQ(pc_sent(1).substr(0, 1), std::string(1, '\0'));  // the start byte
    }
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "D"));
}

}  // namespace

namespace {

TEST_F(Handlers, OneNameOneFileWhateverItsCase) {
    // A stored file copied in by hand in lower case, beside a text file in upper case.
    const kv::core::StoredHeader h{0, 0, 1, 10};
    dir.write("prog", kv::core::encode_header(h) + "x");
    dir.write("PROG", "plain text");
    device_sends("\r" + std::string(20, '\x06'));
    kv::core::CAT(port);
    EXPECT_NE(pc_sent(1 + 32 * 9 + 1).find(kv::core::stored_file_line("prog", h)),
              std::string::npos);
    kv::core::receive_buffer().clear();
    device_sends("prog\r");
    kv::core::LOAD(port);
    EXPECT_EQ(pc_sent(9), std::string(1, '\0') + kv::core::encode_fields(h) + "x");
    device_sends("*\r");
    kv::core::ERASE_(port);
    EXPECT_EQ(pc_sent(1), std::string(1, '\0'));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "prog"));
    EXPECT_EQ(dir.read("PROG"), "plain text");
}

}  // namespace
