#pragma once
// The program's main window: a modal dialog whose only control is a read-only log pane. On screen
// it is a Qt dialog; headless it has no window and its log goes to standard output.
#include <functional>
#include <memory>
#include <string>

#include "gui/window.h"

namespace kv::gui {

class LogPane {
  public:
    virtual ~LogPane() = default;
    // Appends one line (Windows-1252 bytes) and shows the end of the log. Each line costs the
    // same whatever the length of the log before it.
    virtual void append_line(const std::string& line) = 0;
    // The whole log; every line ends with CR LF.
    virtual const std::string& text() const = 0;
};

class MainWindow : public Window {
  public:
    using Handler = std::function<void()>;
    using CloseGuard = std::function<bool()>;

    virtual LogPane& log_pane() = 0;
    // Runs once after the window's first paint; it is cleared before it runs.
    virtual void set_start_handler(Handler handler) = 0;
    // Asked on every close request; false refuses it.
    virtual void set_close_guard(CloseGuard guard) = 0;
    // Shows the window modally, centred: `init` runs once before it is shown (a close request
    // made there closes the window before it ever appears). Returns when the window has closed.
    virtual void activate(Handler init) = 0;
    // A close request. When the guard allows it the window closes; while the start handler is
    // running the close waits until it has returned.
    virtual void request_close() = 0;
    // True once the window has been on screen (always false headless).
    virtual bool was_shown() const = 0;
};

// Headless log lines on standard output begin with the date and time ("2026-12-08 00:31:05 ").
// The log's text stays as it is.
void set_log_timestamps(bool on);

// The main window for the run mode (see gui/run_mode.h).
std::unique_ptr<MainWindow> create_main_window(const std::string& title, int width, int height);

}  // namespace kv::gui
