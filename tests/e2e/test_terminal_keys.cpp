// kv32 --headless with a terminal as standard input: Esc typed there ends it, and the terminal's
// settings come back however the program ends.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <csignal>
#include <functional>

#include <gtest/gtest.h>

#include "gui/terminal_keys.h"
#include "tests/e2e/kv32_on_pty.h"

namespace {

using namespace std::chrono_literals;
using kv::test::Kv32OnPty;

// Echo and whole lines on (as a shell leaves a terminal), or both off with Ctrl+C still on.
std::optional<bool> cooked(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0 || !(t.c_lflag & ISIG)) return std::nullopt;
    if ((t.c_lflag & (ECHO | ICANON)) == (ECHO | ICANON)) return true;
    if ((t.c_lflag & (ECHO | ICANON)) == 0) return false;
    return std::nullopt;
}

TEST(TerminalKeys, EscOrASignalEndsKv32AndTheTerminalIsPutBack) {
    using End = std::function<void(kv::dev::ChildProcess&, int terminal)>;
    auto type = [](int terminal, const std::string& keys) {
        ASSERT_EQ(::write(terminal, keys.data(), keys.size()), ssize_t(keys.size()));
    };
    const std::vector<std::tuple<const char*, End, std::vector<int>>> ways = {
        {"Esc",
         [&](kv::dev::ChildProcess& p, int terminal) {
             type(terminal, "\x1b[A\x1bx");  // the up arrow and Alt+x begin with Esc
             EXPECT_FALSE(p.wait_exit(300ms).has_value());
             type(terminal, "\x1b");
         },
         {0}},
        {"SIGHUP", [](kv::dev::ChildProcess& p, int) { p.signal(SIGHUP); }, {0}},
        // The second signal ends the program on the spot, unless the first was quicker.
        {"two signals",
         [](kv::dev::ChildProcess& p, int) {
             p.signal(SIGINT);
             p.signal(SIGTERM);
         },
         {0, 128 + SIGINT, 128 + SIGTERM}},
    };
    for (const auto& [name, end, statuses] : ways) {
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_EQ(cooked(slave), true);
        {
            Kv32OnPty kv({}, {}, slave);
            ASSERT_TRUE(kv.started()) << kv.process().err();
            EXPECT_EQ(cooked(slave), false) << name;
            end(kv.process(), master);
            const auto status = kv.process().wait_exit(kv::test::kStartTimeout);
            EXPECT_TRUE(status && std::count(statuses.begin(), statuses.end(), *status))
                << name << " " << status.value_or(-1) << kv.process().err();
        }
        EXPECT_EQ(cooked(slave), true) << name;
        ::close(slave);
        ::close(master);
    }
}

TEST(TerminalKeys, OnlyAnEscOnItsOwnIsTheEscKey) {
    const std::vector<std::pair<std::string, int>> reads = {
        {"\x1b", 1},  {"\x1b\x1b", 2}, {"\x1b[A", 0},     {"\x1bOP", 0},
        {"a\x1b", 1}, {"\x1bx", 0},    {"\x1b\x1b[B", 1}, {"\x1b[A\x1b", 1},
    };
    for (const auto& [bytes, keys] : reads) EXPECT_EQ(kv::gui::escape_keys_in(bytes), keys);
}

}  // namespace
