#pragma once
// The part of a window that the rest of the program talks to: its handle and its comm-notify
// handler, run on the GUI thread when a serial port's reader sends WM_COMMNOTIFY to the window.
// The main window (on screen or headless) is one of these; tests use it as it stands.
#include <cstdint>
#include <functional>

#include "gui/messages.h"

namespace kv::gui {

class Window {
  public:
    using CommNotifyHandler = std::function<void(std::intptr_t wparam, std::intptr_t lparam)>;

    Window();
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    Hwnd handle() const { return handle_; }
    void set_comm_notify_handler(CommNotifyHandler handler) { comm_notify_ = std::move(handler); }

  private:
    Hwnd handle_;
    CommNotifyHandler comm_notify_;
};

// Runs a function on the GUI thread later, from any thread (queued, never waits).
void post_to_gui_thread(std::function<void()> fn);

}  // namespace kv::gui
