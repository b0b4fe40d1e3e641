// The waiting command files of a folder and the moment each is ready, with the clocks set by the
// test.
#include <sys/stat.h>

#include <chrono>

#include <gtest/gtest.h>

#include "server/command_queue.h"
#include "tests/support/temp_dir.h"

namespace kv::server {
namespace {

using namespace std::chrono_literals;

std::chrono::system_clock::time_point changed_at(const std::string& name) {
    struct stat st;
    EXPECT_EQ(::stat(name.c_str(), &st), 0);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::seconds(st.st_ctim.tv_sec) +
            std::chrono::nanoseconds(st.st_ctim.tv_nsec)));
}

TEST(CommandQueueTest, AFileWrittenInPlaceIsReadyOnceItHasNotChangedForTheSettlingTime) {
    test::TempDir dir;
    const test::ScopedCurrentDir in(dir.path());
    dir.write("CMD_A.INI", "[Command]\r\nCommand=A\r\n");
    CommandQueue queue(false, nullptr);
    if (!queue.file_times_tell()) GTEST_SKIP() << "the folder's file times are not this machine's";
    const CommandQueue::Clock::time_point start{};
    // Each case: how long before the look the file last changed, by the file system's clock,
    // and when it is ready (0: at once).
    const struct {
        std::chrono::milliseconds changed_before;
        std::chrono::milliseconds ready_after;
    } cases[] = {
        {0ms, CommandQueue::kSettling},
        {200ms, CommandQueue::kSettling},  // within the file times' margin: looked at twice
        {250ms, 0ms},
        {1h, 0ms},
    };
    for (const auto& c : cases) {
        CommandQueue fresh(false, nullptr);
        const auto changed = changed_at("CMD_A.INI");
        fresh.set_wall_clock([&] { return changed + c.changed_before; });
        fresh.look();
        if (c.ready_after == 0ms) {
            EXPECT_EQ(fresh.next_ready(start), "CMD_A.INI") << c.changed_before.count();
            continue;
        }
        EXPECT_EQ(fresh.next_ready(start), std::nullopt) << c.changed_before.count();
        EXPECT_EQ(fresh.next_settling(), start + c.ready_after);
        EXPECT_EQ(fresh.next_ready(start + c.ready_after - 1ms), std::nullopt);
        EXPECT_EQ(fresh.next_ready(start + c.ready_after), "CMD_A.INI");
    }
    // Changed meanwhile: it settles afresh from the look that saw the change.
    queue.set_wall_clock([&] { return changed_at("CMD_A.INI"); });
    queue.look();
    EXPECT_EQ(queue.next_ready(start), std::nullopt);
    dir.write("CMD_A.INI", "[Command]\r\nCommand=AB\r\n");
    EXPECT_EQ(queue.next_ready(start + 200ms), std::nullopt);
    EXPECT_EQ(queue.next_settling(), start + 400ms);
    EXPECT_EQ(queue.next_ready(start + 400ms), "CMD_A.INI");
}

}  // namespace
}  // namespace kv::server
