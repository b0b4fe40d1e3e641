#include "platform/clock.h"

#include <atomic>

namespace kv::platform {
namespace {

class SteadyClock : public Clock {
  public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
};

const SteadyClock steady_clock_instance;
std::atomic<const Clock*> installed{nullptr};

}  // namespace

const Clock& clock() {
    const Clock* c = installed.load(std::memory_order_acquire);
    return c ? *c : steady_clock_instance;
}

const Clock* set_clock(const Clock* c) {
    return installed.exchange(c, std::memory_order_acq_rel);
}

}  // namespace kv::platform
