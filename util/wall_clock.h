#pragma once
// The local date and time of day. Temporary names and calendar functions read it here, so that
// tests can install a clock of their own.
#include <chrono>
#include <functional>

namespace kv::util {

// A local date and time of day.
struct LocalDateTime {
    int year = 1980;
    unsigned month = 1;  // 1..12
    unsigned day = 1;    // 1..31
    std::chrono::microseconds since_midnight{0};
};

using WallClock = std::function<LocalDateTime()>;

// The local date and time now, from the installed clock or the system's.
LocalDateTime local_now();
// Installs a clock; an empty one goes back to the system's. Not thread-safe: GUI thread only.
void set_wall_clock(WallClock clock);

}  // namespace kv::util
