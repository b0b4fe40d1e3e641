#include "gui/main_window_state.h"

namespace kv::gui {

void MainWindowBase::request_close() {
    if (closed_) return;
    if (guard_ && !guard_()) {
        close_refused();
        return;
    }
    if (start_running_) {
        close_pending_ = true;
        return;
    }
    closed_ = true;
    close_now();
}

void MainWindowBase::run_start_handler() {
    if (!start_ || closed_) return;
    Handler handler = std::move(start_);
    start_ = nullptr;
    start_running_ = true;
    handler();
    start_running_ = false;
    if (close_pending_ && !closed_) {
        closed_ = true;
        close_now();
    }
}

}  // namespace kv::gui
