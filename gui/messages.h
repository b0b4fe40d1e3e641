#pragma once
// Window handles and the synchronous cross-thread send: a worker thread delivers a message to a
// window's handler on the GUI thread and waits until the handler has run.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace kv::gui {

using Hwnd = std::uintptr_t;  // 0 = no window
constexpr unsigned WM_COMMNOTIFY = 0x0044;

using MessageHandler =
    std::function<void(unsigned msg, std::intptr_t wparam, std::intptr_t lparam)>;

// Registers a window's message handler and returns its handle (GUI thread).
Hwnd register_window(MessageHandler handler);
// Forgets a window's handler; sends to it return false from then on.
void unregister_window(Hwnd window);

// The way out of a send for a sender that is being shut down: close() (from the GUI thread)
// wakes a waiting send_message and makes every later one return false at once.
class SendGate {
  public:
    // Closes the gate: waiting and later sends return false.
    void close();
    // True once the gate is closed.
    bool closed() const;

  private:
    friend bool send_message(Hwnd, unsigned, std::intptr_t, std::intptr_t, SendGate&);
    struct Call;
    mutable std::mutex mutex_;
    bool closed_ = false;
    std::shared_ptr<Call> current_;
};

// Runs the window's handler on the GUI thread with the message and waits until it has run. Returns
// false when the gate was closed first or the window is gone. Not for use on the GUI thread.
bool send_message(Hwnd window, unsigned msg, std::intptr_t wparam, std::intptr_t lparam,
                  SendGate& gate);

}  // namespace kv::gui
