#include "platform/keystate.h"

#include <array>
#include <atomic>

namespace kv::platform {
namespace {

std::array<std::atomic<bool>, 256> pressed{};
std::array<std::atomic<bool>, 256> latched{};
std::atomic<bool> terminating{false};

bool valid(int vk) {
    return vk >= 0 && vk < 256;
}

}  // namespace

void set_key_down(int vk, bool down) {
    if (valid(vk)) pressed[vk].store(down);
}

bool key_is_down(int vk) {
    return valid(vk) && (pressed[vk].load() || latched[vk].load());
}

void latch_key_down(int vk) noexcept {
    static_assert(std::atomic<bool>::is_always_lock_free);
    if (valid(vk)) latched[vk].store(true);
}

void release_all_keys() {
    for (int vk = 0; vk < 256; ++vk) {
        pressed[vk].store(false);
        latched[vk].store(false);
    }
}

void request_termination() noexcept {
    terminating.store(true);
}

bool termination_requested() {
    return terminating.load();
}

void clear_termination_request() {
    terminating.store(false);
}

}  // namespace kv::platform
