#include "util/wall_clock.h"

#include <ctime>

namespace kv::util {
namespace {

WallClock& installed_clock() {
    static WallClock clock;
    return clock;
}

LocalDateTime system_local_now() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t whole_seconds = system_clock::to_time_t(now);
    std::tm local{};
    ::localtime_r(&whole_seconds, &local);
    const auto fraction =
        duration_cast<microseconds>(now - system_clock::from_time_t(whole_seconds));
    LocalDateTime result;
    result.year = local.tm_year + 1900;
    result.month = static_cast<unsigned>(local.tm_mon + 1);
    result.day = static_cast<unsigned>(local.tm_mday);
    result.since_midnight =
        hours(local.tm_hour) + minutes(local.tm_min) + seconds(local.tm_sec) + fraction;
    return result;
}

}  // namespace

LocalDateTime local_now() {
    const WallClock& clock = installed_clock();
    return clock ? clock() : system_local_now();
}

void set_wall_clock(WallClock clock) {
    installed_clock() = std::move(clock);
}

}  // namespace kv::util
