#pragma once
// What both kinds of main window share: the handlers and the close-request rule.
#include "gui/main_window.h"

namespace kv::gui {

class MainWindowBase : public MainWindow {
  public:
    void set_start_handler(Handler handler) override { start_ = std::move(handler); }
    void set_close_guard(CloseGuard guard) override { guard_ = std::move(guard); }
    void request_close() override;
    bool closing() const override { return closed_ || close_pending_; }

  protected:
    // Runs the start handler once (taking it out first, so that it never runs twice), then
    // carries out a close that was requested meanwhile.
    void run_start_handler();
    bool closed() const { return closed_; }
    // Performs the close itself (the dialog ends its modal loop).
    virtual void close_now() = 0;
    // Tells the user that a close request was refused (the window shows how to end the program).
    virtual void close_refused() {}

  private:
    Handler start_;
    CloseGuard guard_;
    bool start_running_ = false;
    bool close_pending_ = false;
    bool closed_ = false;
};

}  // namespace kv::gui
