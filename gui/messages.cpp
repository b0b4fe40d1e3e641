#include "gui/messages.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <map>

namespace kv::gui {

struct SendGate::Call {
    std::mutex mutex;
    std::condition_variable done_cv;
    bool done = false;
    bool cancelled = false;
};

namespace {

std::mutex registry_mutex;
std::map<Hwnd, MessageHandler> registry;
Hwnd next_handle = 1;

MessageHandler handler_of(Hwnd window) {
    std::lock_guard lock(registry_mutex);
    auto it = registry.find(window);
    return it == registry.end() ? MessageHandler{} : it->second;
}

}  // namespace

Hwnd register_window(MessageHandler handler) {
    std::lock_guard lock(registry_mutex);
    Hwnd h = next_handle++;
    registry.emplace(h, std::move(handler));
    return h;
}

void unregister_window(Hwnd window) {
    std::lock_guard lock(registry_mutex);
    registry.erase(window);
}

void SendGate::close() {
    std::shared_ptr<Call> pending;
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        pending = current_;
    }
    if (pending) {
        std::lock_guard lock(pending->mutex);
        pending->cancelled = true;
        pending->done_cv.notify_all();
    }
}

bool SendGate::closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

bool send_message(Hwnd window, unsigned msg, std::intptr_t wparam, std::intptr_t lparam,
                  SendGate& gate) {
    auto* app = QCoreApplication::instance();
    if (!app || window == 0) return false;
    auto call = std::make_shared<SendGate::Call>();
    {
        std::lock_guard lock(gate.mutex_);
        if (gate.closed_) return false;
        gate.current_ = call;
    }
    QMetaObject::invokeMethod(
        app,
        [call, window, msg, wparam, lparam] {
            {
                std::lock_guard lock(call->mutex);
                if (call->cancelled) return;
            }
            // The handler runs without the lock: it may pump messages or close the gate itself.
            if (auto handler = handler_of(window)) handler(msg, wparam, lparam);
            std::lock_guard lock(call->mutex);
            call->done = true;
            call->done_cv.notify_all();
        },
        Qt::QueuedConnection);
    bool delivered;
    {
        std::unique_lock lock(call->mutex);
        call->done_cv.wait(lock, [&] { return call->done || call->cancelled; });
        delivered = call->done;
    }
    std::lock_guard lock(gate.mutex_);
    gate.current_.reset();
    return delivered;
}

}  // namespace kv::gui
