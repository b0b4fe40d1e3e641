// Dettagli=1 (or --verbose): after each command's own log line, one line that says what became of
// the command; the command's own lines stay as they are.
#include <functional>

#include <gtest/gtest.h>

#include "tests/e2e/kv32_on_pty.h"
#include "tools/kvdev/commands.h"
#include "tools/kvdev/print.h"

namespace {

using namespace kv::dev;
using Command = std::function<std::uint8_t(DeviceLink&)>;

TEST(VerboseLog, EachCommandIsFollowedByItsOutcome) {
    kv::test::TempDir printed;
    kv::test::Kv32OnPty kv({"--print-to", printed.str()}, "[Impostazioni]\r\nDettagli=1\r\n");
    ASSERT_TRUE(kv.started()) << kv.process().err();
    kv.dir().write("PLAIN.TXT", "not a stored file");
    auto print = [](const char* line) -> Command {
        return [line](DeviceLink& d) { return print_line(d, line); };
    };
    const std::vector<std::tuple<const char*, const char*, Command, std::uint8_t>> cases = {
        {"Saving...", "HELLO: 10 bytes saved",
         [](DeviceLink& d) { return save(d, "HELLO", "0123456789"); }, kOk},
        {"Saving...", "GAMES/: folder made", [](DeviceLink& d) { return make_folder(d, "GAMES/"); },
         kOk},
        {"Saving...", "BAD/: refused, a folder comes with exactly one data byte",
         [](DeviceLink& d) { return save(d, "BAD/", "", {}, 2); }, kBadFolderLength},
        {"Loading...", "hello: 10 bytes sent",  // the name as the device gave it
         [](DeviceLink& d) { return load(d, "hello").status; }, kOk},
        {"Loading...", "NOPE: refused, no such stored file",
         [](DeviceLink& d) { return load(d, "NOPE").status; }, kRefused},
        {"Loading...", "PLAIN.TXT: refused, not a stored file",
         [](DeviceLink& d) { return load(d, "PLAIN.TXT").status; }, kRefused},
        {"Listing...", "2 entries listed",  // GAMES and HELLO: PLAIN.TXT is not stored
         [](DeviceLink& d) { return catalogue(d, "").lines.empty() ? kRefused : kOk; }, kOk},
        {"Loading...", "GAMES/: now the current folder (/GAMES)",
         [](DeviceLink& d) { return change_folder(d, "GAMES/"); }, kOk},
        {"Loading...", "../: now the current folder (/)",
         [](DeviceLink& d) { return change_folder(d, "../"); }, kOk},
        {"Erasing...", "1 stored file erased", [](DeviceLink& d) { return erase(d, "*"); }, kOk},
        {"Erasing...", "NOPE: refused, no such file",
         [](DeviceLink& d) { return erase(d, "NOPE"); }, kRefused},
        {"Erasing...", "GAMES/: folder removed",
         [](DeviceLink& d) { return remove_folder(d, "GAMES/"); }, kOk},
        {"Printing...", "a new document: line printed on page 1", print("Hello"), kOk},
        {"Printing...", "end of the document: 1 page", print("\x03"), kOk},
        {"Printing...", "form feed: no document is open, nothing to do", print("\f"), kOk},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& [logged, outcome, command, status] = cases[i];
        EXPECT_EQ(command(kv.device()), status) << outcome;
        ASSERT_TRUE(kv.idle_after(static_cast<int>(i) + 1)) << kv.process().out();
        // The waiting line before the command, then the command's line and its outcome.
        const auto lines = kv.process().out_lines();
        std::size_t waiting = 0, at = 0;
        while (at < lines.size() && !(lines[at] == kv::test::kWaitingLine && ++waiting == i + 1))
            ++at;
        ASSERT_LT(at + 2, lines.size()) << kv.process().out();
        EXPECT_EQ(lines[at + 1], logged) << outcome;
        EXPECT_EQ(lines[at + 2], outcome);
    }
    EXPECT_EQ(kv.stop(), 0);
}

}  // namespace
