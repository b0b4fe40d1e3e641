#pragma once
// The program's log: lines for the log pane from anywhere in the core, on the window's thread.
#include <functional>
#include <string>

namespace kv::core {

// Where log lines go; the start procedure points it at the log pane. Without a sink, lines go
// to standard error.
void set_log_sink(std::function<void(const std::string&)> sink);
void log_line(const std::string& line);

// A line as the log shows it: bytes below 0x20 and 0x7F written as \xNN, so that names from the
// device can neither start a line of their own nor send control sequences to a terminal.
std::string escape_log_text(const std::string& line);

// Installs a log sink for the length of a scope and puts the one before it back.
class ScopedLogSink {
  public:
    explicit ScopedLogSink(std::function<void(const std::string&)> sink);
    ~ScopedLogSink();
    ScopedLogSink(const ScopedLogSink&) = delete;
    ScopedLogSink& operator=(const ScopedLogSink&) = delete;

  private:
    std::function<void(const std::string&)> previous_;
};

}  // namespace kv::core
