#pragma once
// The release of the system lock, as the error handler and the failing disk checks reach it: the
// login routines install their release here; while none is installed, releasing does nothing.
#include <functional>

namespace kv::util {

// Installs the release of the system lock (an empty function removes it).
void set_system_unlocker(std::function<void()> unlock);
// Releases the system lock through the installed release, if any.
void unlock_system();

// Installs a release for the guard's lifetime and restores the previous one after (tests).
class ScopedSystemUnlocker {
  public:
    explicit ScopedSystemUnlocker(std::function<void()> unlock);
    ~ScopedSystemUnlocker();
    ScopedSystemUnlocker(const ScopedSystemUnlocker&) = delete;
    ScopedSystemUnlocker& operator=(const ScopedSystemUnlocker&) = delete;

  private:
    std::function<void()> previous_;
};

}  // namespace kv::util
