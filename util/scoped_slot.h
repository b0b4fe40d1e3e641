#pragma once
// A guard that replaces a process-wide value (a handler, an opener, a hook) for its lifetime and
// puts the previous one back after (tests). `slot` gives the value's one place.
#include <utility>

namespace kv::util {

template <class T, T& (*slot)()>
// A guard that replaces a process-wide value (see the top of this file).
class ScopedSlot {
  public:
    // Puts the value in place.
    explicit ScopedSlot(T value) : previous_(std::exchange(slot(), std::move(value))) {}
    ~ScopedSlot() { slot() = std::move(previous_); }
    ScopedSlot(const ScopedSlot&) = delete;
    ScopedSlot& operator=(const ScopedSlot&) = delete;

  private:
    T previous_;
};

}  // namespace kv::util
