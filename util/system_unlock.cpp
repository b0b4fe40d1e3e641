#include "util/system_unlock.h"

#include <utility>

namespace kv::util {
namespace {

std::function<void()>& unlocker() {
    static std::function<void()> unlock;
    return unlock;
}

}  // namespace

void set_system_unlocker(std::function<void()> unlock) {
    unlocker() = std::move(unlock);
}

void unlock_system() {
    if (unlocker()) unlocker()();
}

ScopedSystemUnlocker::ScopedSystemUnlocker(std::function<void()> unlock) : previous_(unlocker()) {
    unlocker() = std::move(unlock);
}

ScopedSystemUnlocker::~ScopedSystemUnlocker() {
    unlocker() = std::move(previous_);
}

}  // namespace kv::util
