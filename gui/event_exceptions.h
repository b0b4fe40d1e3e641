#pragma once
// Exceptions that escape an event handler on the GUI thread. The program's application object
// delivers every event under this guard, so such an exception reaches one handler instead of
// unwinding through the toolkit's event loops.
#include <exception>
#include <functional>

namespace kv::gui {

using EventExceptionHandler = std::function<void(std::exception_ptr)>;

// Installs the handler (an empty one restores the default: the exception goes on unchanged).
void set_event_exception_handler(EventExceptionHandler handler);

// Runs `deliver` (one event's delivery) and hands an exception that escapes it to the handler;
// false when the delivery ended that way.
bool deliver_guarded(const std::function<bool()>& deliver);

}  // namespace kv::gui
