// The main window without a display: no window at all; each log line goes to standard output as
// it is appended, and the window "closes" on a close request.
#include <cstdio>

#include "gui/main_window_state.h"
#include "gui/pump.h"
#include "gui/run_mode.h"
#include "platform/codepages.h"

namespace kv::gui {
namespace {

bool timestamps = false;

class StdoutLog : public LogPane {
  public:
    void append_line(const std::string& line) override {
        write_log_file(line);  // a failure is said on standard error
        std::string out = (timestamps ? log_stamp() : "") + platform::ansi_to_utf8(line) + "\n";
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }
    // Standard output has the lines; none is kept here.
    const std::string& text() const override { return kept_; }

  private:
    const std::string kept_;
};

class HeadlessMainWindow : public MainWindowBase {
  public:
    LogPane& log_pane() override { return log_; }
    bool was_shown() const override { return false; }
    void activate(Handler init) override {
        if (init) init();
        if (closed()) return;
        run_start_handler();
        while (!closed()) wait_for_events(std::nullopt);
    }

  protected:
    void close_now() override {}

  private:
    StdoutLog log_;
};

}  // namespace

void set_log_timestamps(bool on) {
    timestamps = on;
}

std::unique_ptr<MainWindow> create_widget_main_window(const std::string& title, int width,
                                                      int height);

std::unique_ptr<MainWindow> create_main_window(const std::string& title, int width, int height) {
    if (is_headless()) return std::make_unique<HeadlessMainWindow>();
    return create_widget_main_window(title, width, height);
}

}  // namespace kv::gui
