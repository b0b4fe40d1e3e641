#pragma once
// A window remembered by the program, which may close while it is remembered: it then reads as no
// window.
#include <QPointer>
#include <QWidget>

namespace kv::gui {

class WindowRef {
  public:
    WindowRef() = default;
    explicit WindowRef(QWidget* window) : window_(window) {}

    // The window that is active now (no window when none is, or headless).
    static WindowRef active();

    QWidget* get() const { return window_.data(); }
    explicit operator bool() const { return !window_.isNull(); }
    // Enables or disables the window for user input; nothing when it is gone.
    void enable(bool on) const;

  private:
    QPointer<QWidget> window_;
};

}  // namespace kv::gui
