#pragma once
// The program's main window: a modal dialog whose only control is a read-only log pane. On screen
// it is a Qt dialog; headless it has no window and its log goes to standard output.
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "gui/window.h"

class QWidget;

namespace kv::gui {

// The lines a log pane on screen keeps by default: once there are more, the oldest go. A program
// that runs for months logs without end; its memory must not grow with it.
constexpr std::size_t kLogPaneLines = 10000;

class LogPane {
  public:
    virtual ~LogPane() = default;
    // Appends one line (Windows-1252 bytes) and shows the end of the log. Each line costs the
    // same whatever the length of the log before it.
    virtual void append_line(const std::string& line) = 0;
    // The lines kept, each ended with CR LF: on screen the last line_limit(); headless none
    // (each line has gone to standard output).
    virtual const std::string& text() const = 0;

    // How many lines the pane keeps on screen (at least 1); older lines go as new ones come.
    void set_line_limit(std::size_t lines) {
        line_limit_ = lines > 0 ? lines : 1;
        on_line_limit();
    }
    std::size_t line_limit() const { return line_limit_; }

  protected:
    virtual void on_line_limit() {}

  private:
    std::size_t line_limit_ = kLogPaneLines;
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
    // True once a close request has been allowed (the window closes, or will once the start
    // handler has returned).
    virtual bool closing() const = 0;
    // True once the window has been on screen (always false headless).
    virtual bool was_shown() const = 0;

    // What the window shows besides its log; headless windows show none of it.
    virtual void set_title(const std::string& /*title*/) {}
    // The status line under the log (the served folder).
    virtual void set_status(const std::string& /*text*/) {}
    // A transfer in progress: its text and how far it is ("Saving HELLO: 1024 of 3000 bytes");
    // a total of 0 takes the progress away.
    virtual void show_progress(const std::string& /*text*/, std::size_t /*done*/,
                               std::size_t /*total*/) {}
    // What the window's "Impostazioni" command runs; the window offers it only once it is set.
    virtual void set_settings_handler(Handler /*handler*/) {}
    // What the window's "File del dispositivo" command runs; offered only once it is set.
    virtual void set_files_handler(Handler /*handler*/) {}
    // The window's widget, the parent of dialogs opened over it (nullptr headless).
    virtual QWidget* widget() { return nullptr; }
};

// Headless log lines on standard output begin with the date and time ("2026-12-08 00:31:05 ").
// The log's text stays as it is.
void set_log_timestamps(bool on);

// Every log line, on screen or headless, is also appended to this file (UTF-8), each beginning
// with the date and time ("2026-12-08 00:31:05 "). False, with the reason in `error`, when the
// file cannot be opened for appending; "" stops it. The file is followed by its name: when the
// name no longer leads to the file written (log rotation moved it, it was deleted), the next
// line opens a new file there; the name is looked at once every kLogNameCheck at most.
bool set_log_file(const std::string& path, std::string* error = nullptr);
constexpr std::chrono::seconds kLogNameCheck{1};

// "2026-12-08 00:31:05 ": the date and time that begin timestamped log lines.
std::string log_stamp();

// Appends one log line to the log file when one is set. A file that cannot be written is said
// once (until a line reaches it again): on standard error, and in the line returned for the
// log, which is otherwise empty. The line after a cut one begins on a line of its own.
std::string write_log_file(const std::string& line);

// The main window for the run mode (see gui/run_mode.h).
std::unique_ptr<MainWindow> create_main_window(const std::string& title, int width, int height);

}  // namespace kv::gui
