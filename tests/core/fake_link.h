#pragma once
// A pump driven by a manual clock: time passes only while the code under test waits, and bytes
// or key changes "arrive" at the moments a test scripts. Waits of seconds cost nothing.
#include <functional>
#include <map>
#include <string>

#include "core/receive.h"
#include "core/receive_buffer.h"
#include "gui/pump.h"
#include "platform/clock.h"
#include "platform/keystate.h"

namespace kv::test {

class FakeLink : public gui::Pump {
  public:
    FakeLink() {
        core::receive_buffer().clear();
        platform::release_all_keys();
        platform::clear_termination_request();
        core::begin_command();
        start_ = clock_.now();
    }
    ~FakeLink() override {
        core::receive_buffer().clear();
        core::begin_command();
        platform::release_all_keys();
        platform::clear_termination_request();
    }

    // Bytes that reach the receive buffer `after` the start.
    void arrive(platform::Duration after, const std::string& bytes) {
        events_.emplace(start_ + after, [bytes] { core::receive_buffer().append(bytes); });
    }
    void at(platform::Duration after, std::function<void()> action) {
        events_.emplace(start_ + after, std::move(action));
    }
    // Called when the code under test has nothing to do and would wait; true when it made
    // something happen (then no time passes).
    void on_idle(std::function<bool()> fn) { on_idle_ = std::move(fn); }
    platform::Duration elapsed() const { return clock_.now() - start_; }
    int waits() const { return waits_; }

    bool refresh() override {
        deliver_due();
        return true;
    }
    void wait(std::optional<platform::Duration> at_most) override {
        ++waits_;
        if (on_idle_ && on_idle_()) return;
        auto next = events_.empty() ? platform::TimePoint::max() : events_.begin()->first;
        auto until = at_most ? std::min(next, clock_.now() + *at_most) : next;
        if (until == platform::TimePoint::max()) throw std::runtime_error("waits for ever");
        if (until > clock_.now()) clock_.advance(until - clock_.now());
        deliver_due();
    }

  private:
    void deliver_due() {
        while (!events_.empty() && events_.begin()->first <= clock_.now()) {
            auto action = events_.begin()->second;
            events_.erase(events_.begin());
            action();
        }
    }

    platform::ManualClock clock_;
    platform::ScopedClock clock_guard_{&clock_};
    gui::ScopedPump pump_guard_{this};
    platform::TimePoint start_;
    std::multimap<platform::TimePoint, std::function<void()>> events_;
    int waits_ = 0;
    std::function<bool()> on_idle_;
};

}  // namespace kv::test
