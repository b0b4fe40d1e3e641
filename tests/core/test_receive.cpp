// The receive primitives against a scripted link and a manual clock.
#include <gtest/gtest.h>

#include "core/receive.h"
#include "tests/core/fake_link.h"

namespace {

using namespace std::chrono_literals;
using kv::core::receive_buffer;

void hold_esc(bool down) {
    kv::platform::set_key_down(kv::platform::VK_ESCAPE, down);
}

TEST(WaitChar, TakesWaitingBytesInOrder) {
    kv::test::FakeLink link;
    receive_buffer().append(std::string("A\0\r", 3));
    EXPECT_EQ(kv::core::WAITCHAR(), "A");
    EXPECT_EQ(kv::core::WAITCHAR(), std::string(1, '\0'));
    EXPECT_EQ(kv::core::WAITCHAR(), "\r");
    EXPECT_EQ(link.elapsed(), 0s);
}

TEST(WaitChar, BlocksUntilAByteComesAndTimesOutAfterTwoSeconds) {
    kv::test::FakeLink link;
    link.arrive(1500ms, "x");
    EXPECT_EQ(kv::core::WAITCHAR(), "x");
    EXPECT_EQ(link.elapsed(), 1500ms);
    EXPECT_EQ(kv::core::WAITCHAR(), "");
    EXPECT_EQ(link.elapsed(), 3500ms);
    EXPECT_LE(link.waits(), 3);  // it blocks instead of spinning
}

TEST(WaitChar, AByteThatCameAsTheTimeRanOutIsStillTaken) {
    kv::test::FakeLink link;
    link.arrive(2s, "z");
    EXPECT_EQ(kv::core::WAITCHAR(), "z");
}

TEST(WaitChar, EscIsTestedBeforeTheBufferAndLeavesItsBytes) {
    kv::test::FakeLink link;
    receive_buffer().append("AB");
    hold_esc(true);
    EXPECT_EQ(kv::core::WAITCHAR(), "");
    EXPECT_EQ(kv::core::WAITCOMMAND(), "");
    EXPECT_EQ(receive_buffer().size(), 2u);
    EXPECT_EQ(link.elapsed(), 0s);
    hold_esc(false);
    EXPECT_EQ(kv::core::WAITCHAR(), "A");
}

TEST(WaitChar, EscPressedDuringTheWaitEndsIt) {
    kv::test::FakeLink link;
    link.at(700ms, [] { hold_esc(true); });
    EXPECT_EQ(kv::core::WAITCHAR(), "");
    EXPECT_EQ(link.elapsed(), 700ms);
}

TEST(WaitCommand, HasNoTimeOut) {
    kv::test::FakeLink link;
    link.arrive(3h, "C");
    EXPECT_EQ(kv::core::WAITCOMMAND(), "C");
    EXPECT_EQ(link.elapsed(), 3h);
    EXPECT_EQ(link.waits(), 1);
}

// An end or a give-up that the window's events ask for while a wait handles them is acted on
// before the wait blocks, never left until the next event (which may never come).
TEST(WaitCommand, AnEndOrGiveUpAskedByTheEventsIsActedOnBeforeBlocking) {
    {
        kv::test::FakeLink link;
        link.at(0s, [] { kv::platform::request_termination(); });
        EXPECT_THROW(kv::core::WAITCOMMAND(), kv::core::Terminated);
        EXPECT_EQ(link.waits(), 0);
    }
    {
        kv::test::FakeLink link;
        link.at(0s, [] { kv::core::abandon_command(); });
        EXPECT_THROW(kv::core::WAITCHAR(), kv::core::DeviceGone);
        EXPECT_EQ(link.elapsed(), 0s);
    }
}

TEST(WaitUint, LowByteFirstAndMissingBytesCountAsZero) {
    kv::test::FakeLink link;
    receive_buffer().append("\x34\x12");
    EXPECT_EQ(kv::core::WAITUINT(), 4660u);
    receive_buffer().append("\x34");
    EXPECT_EQ(kv::core::WAITUINT(), 52u);
    EXPECT_EQ(link.elapsed(), 2s);
    EXPECT_EQ(kv::core::WAITUINT(), 0u);
    EXPECT_EQ(link.elapsed(), 6s);
    receive_buffer().append("\xff\xff");
    EXPECT_EQ(kv::core::WAITUINT(), 65535u);
}

TEST(WaitString, ReadsUpToCrWithoutOverallLimit) {
    kv::test::FakeLink link;
    receive_buffer().append("ABC\r\rAB");
    EXPECT_EQ(kv::core::WAITSTRING(), "ABC");
    EXPECT_EQ(kv::core::WAITSTRING(), "");
    link.arrive(5s, "\r");
    EXPECT_EQ(kv::core::WAITSTRING(), "AB");
    EXPECT_EQ(link.elapsed(), 5s);
}

// A device that never ends its line: the bytes past the limit are read and dropped up to the
// CR, and the line after it is read whole.
TEST(WaitString, KeepsNoMoreThanItsLimitOfALongLine) {
    constexpr std::size_t kSent = 1 << 20;
    constexpr std::size_t kPiece = 64 << 10;
    for (const std::size_t kept : {std::size_t{0}, std::size_t{4096}}) {
        SCOPED_TRACE(kept);
        kv::test::FakeLink link;
        std::size_t sent = 0;
        link.on_idle([&] {
            if (sent > kSent) return false;
            receive_buffer().append(sent < kSent ? std::string(kPiece, 'A') : "\rB\r");
            sent += kPiece;
            return true;
        });
        EXPECT_EQ(kv::core::WAITSTRING(kept), std::string(kept, 'A'));
        EXPECT_EQ(kv::core::WAITSTRING(kept), kept == 0 ? "" : "B");
    }
}

TEST(WaitString, EscEndsAStringWaitWithWhatCameBefore) {
    // While Esc is held no byte is taken: a wait for the CR would never end.
    kv::test::FakeLink link;
    link.arrive(1s, "N");
    link.at(3s, [] { hold_esc(true); });
    link.arrive(4s, "\r");
    link.on_idle([&link] {
        if (link.elapsed() > 1min) throw std::runtime_error("the string wait does not end");
        return false;
    });
    EXPECT_EQ(kv::core::WAITSTRING(), "N");
    EXPECT_EQ(link.elapsed(), 3s);
    EXPECT_TRUE(kv::core::esc_interrupted());
}

TEST(WaitNext, IsWaitChar) {
    kv::test::FakeLink link;
    receive_buffer().append("\x06");
    EXPECT_EQ(kv::core::WAITNEXT(), "\x06");
    EXPECT_EQ(kv::core::WAITNEXT(), "");
    EXPECT_EQ(link.elapsed(), 2s);
}

TEST(Getchar, EmptyBufferGivesEmptyStringAndAbLeavesB) {
    receive_buffer().clear();
    EXPECT_EQ(kv::core::GETCHAR(), "");
    EXPECT_TRUE(receive_buffer().empty());
    receive_buffer().append("AB");
    EXPECT_EQ(kv::core::GETCHAR(), "A");
    EXPECT_EQ(receive_buffer().size(), 1u);
    EXPECT_EQ(kv::core::GETCHAR(), "B");
}

}  // namespace
