#pragma once
// A window remembered by the program, which may close while it is remembered: it then reads as no
// window.
#include <QPointer>
#include <QWidget>

namespace kv::gui {

// A window that may close while it is remembered (see the top of this file).
class WindowRef {
  public:
    WindowRef() = default;
    // Remembers a window.
    explicit WindowRef(QWidget* window) : window_(window) {}

    // The window that is active now (no window when none is, or headless).
    static WindowRef active();
    // The window (control) that has the keyboard focus now.
    static WindowRef focused();

    // The window; nullptr once it has closed.
    QWidget* get() const { return window_.data(); }
    // True while the window is open.
    explicit operator bool() const { return !window_.isNull(); }
    // Enables or disables the window for user input; nothing when it is gone.
    void enable(bool on) const;
    // Gives the window the keyboard focus.
    void focus() const;
    // Makes the window the active one.
    void activate() const;
    // Posts a typed character (a Windows-1252 byte), or a key press and release by Windows
    // virtual-key code, to the window's focused control (the window itself when it is one).
    void post_character(char c) const;
    // Posts the press and release of a key, by Windows virtual-key code, to the focused control.
    void post_key_down(int vk) const;

  private:
    QWidget* target() const;
    QPointer<QWidget> window_;
};

}  // namespace kv::gui
