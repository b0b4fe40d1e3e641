#include "tables/table_wait.h"

#include <chrono>
#include <thread>

#include "gui/pump.h"
#include "platform/clock.h"
#include "util/status_popup.h"

namespace kv::db {
namespace {

constexpr std::chrono::milliseconds kPause{5};
constexpr std::chrono::seconds kQuietWait{3};

std::function<void()>& installed_pause() {
    static std::function<void()> pause;
    return pause;
}

}  // namespace

void pause_between_tries() {
    if (installed_pause()) {
        installed_pause()();
        return;
    }
    // Events are handled as they come during the pause; without an event loop (a command-line
    // tool) the pause is a plain sleep.
    const auto until = std::chrono::steady_clock::now() + kPause;
    gui::SYSREFRESH();
    for (auto now = std::chrono::steady_clock::now(); now < until;
         now = std::chrono::steady_clock::now()) {
        gui::wait_for_events(std::chrono::ceil<std::chrono::milliseconds>(until - now));
        if (std::chrono::steady_clock::now() - now < std::chrono::microseconds(100)) {
            std::this_thread::sleep_until(until);
        }
    }
}

void set_wait_pause(std::function<void()> pause) {
    installed_pause() = std::move(pause);
}

ScopedWaitPause::ScopedWaitPause(std::function<void()> pause) : previous_(installed_pause()) {
    installed_pause() = std::move(pause);
}

ScopedWaitPause::~ScopedWaitPause() {
    installed_pause() = std::move(previous_);
}

NotedPopup::NotedPopup() : noted_(util::CURMSG()) {}

void NotedPopup::show_wait(const std::string& text, const std::optional<std::string>& title) {
    util::close_status_popup();
    util::POPMSG({.text = text, .title = title});
    waiting_ = true;
}

void NotedPopup::restore() {
    if (!waiting_) return;
    util::close_status_popup();
    if (noted_) util::POPMSG({.text = *noted_});
    waiting_ = false;
}

void try_until_done(const std::function<bool()>& attempt, NotedPopup& popup) {
    const auto started = platform::clock().now();
    while (!attempt()) {
        if (platform::clock().now() - started >= kQuietWait) {
            popup.show_wait(kBusyText);
            do pause_between_tries();
            while (!attempt());
            return;
        }
        pause_between_tries();
    }
}

}  // namespace kv::db
