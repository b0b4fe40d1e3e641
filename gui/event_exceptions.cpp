#include "gui/event_exceptions.h"

#include <utility>

namespace kv::gui {
namespace {

EventExceptionHandler& handler_slot() {
    static EventExceptionHandler handler;
    return handler;
}

}  // namespace

void set_event_exception_handler(EventExceptionHandler handler) {
    handler_slot() = std::move(handler);
}

bool deliver_guarded(const std::function<bool()>& deliver) {
    if (!handler_slot()) return deliver();
    try {
        return deliver();
    } catch (...) {
        handler_slot()(std::current_exception());
        return false;
    }
}

}  // namespace kv::gui
