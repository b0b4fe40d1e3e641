#pragma once
// The message pump of the window's thread.
#include <chrono>
#include <optional>

namespace kv::gui {

// Handles every pending event without waiting for new ones. False only when the application is
// shutting down.
bool SYSREFRESH();

// Blocks until at least one event has been handled or the time-out has passed (no time-out: until
// an event comes). Waiting loops call it when nothing is due, so an idle program uses no processor.
void wait_for_events(std::optional<std::chrono::milliseconds> timeout);

}  // namespace kv::gui
