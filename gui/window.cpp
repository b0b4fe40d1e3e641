#include "gui/window.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace kv::gui {

Window::Window()
    : handle_(register_window([this](unsigned msg, std::intptr_t wparam, std::intptr_t lparam) {
          if (msg == WM_COMMNOTIFY && comm_notify_) comm_notify_(wparam, lparam);
      })) {}

Window::~Window() {
    unregister_window(handle_);
}

void post_to_gui_thread(std::function<void()> fn) {
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(fn), Qt::QueuedConnection);
}

}  // namespace kv::gui
