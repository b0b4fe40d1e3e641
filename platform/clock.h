#pragma once
// The monotonic clock that every time-out of the program reads. Tests install a manual clock so
// that waits of seconds cost nothing; the program uses the steady clock, which does not jump at
// midnight or when the wall-clock time is changed.
#include <chrono>

namespace kv::platform {

using TimePoint = std::chrono::steady_clock::time_point;
using Duration = std::chrono::steady_clock::duration;

// The monotonic clock (see the top of this file).
class Clock {
  public:
    virtual ~Clock() = default;
    // The time now.
    virtual TimePoint now() const = 0;
};

// The clock in use: the steady clock unless a test installed another one.
const Clock& clock();
// Installs a clock (nullptr goes back to the steady clock) and returns the one it replaces. The
// caller keeps it alive.
const Clock* set_clock(const Clock* clock);

// Installs a clock for the length of a scope and puts the one before it back.
class ScopedClock {
  public:
    // Installs a clock for the guard's lifetime.
    explicit ScopedClock(const Clock* clock) : previous_(set_clock(clock)) {}
    ~ScopedClock() { set_clock(previous_); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

  private:
    const Clock* previous_;
};

// A clock that moves only when told to; for tests.
class ManualClock : public Clock {
  public:
    // The time the clock was set to.
    TimePoint now() const override { return now_; }
    // Moves the clock forward.
    void advance(Duration d) { now_ += d; }

  private:
    TimePoint now_{std::chrono::hours(24)};
};

}  // namespace kv::platform
