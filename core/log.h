#pragma once
// The program's log: lines for the log pane from anywhere in the core, on the window's thread.
#include <cstddef>
#include <functional>
#include <string>

namespace kv::core {

// Where log lines go; the start procedure points it at the log pane. Without a sink, lines go
// to standard error.
void set_log_sink(std::function<void(const std::string&)> sink);
void log_line(const std::string& line);

// With verbose logging (--verbose, or Dettagli=1 in the settings) each command's line is followed
// by one line that says what became of it; log_outcome writes that line only then.
void set_verbose_log(bool on);
bool verbose_log();
void log_outcome(const std::string& line);

// Sets verbose logging for the length of a scope and puts the setting before it back.
class ScopedVerboseLog {
  public:
    explicit ScopedVerboseLog(bool on) : previous_(verbose_log()) { set_verbose_log(on); }
    ~ScopedVerboseLog() { set_verbose_log(previous_); }
    ScopedVerboseLog(const ScopedVerboseLog&) = delete;
    ScopedVerboseLog& operator=(const ScopedVerboseLog&) = delete;

  private:
    bool previous_;
};

// "1 byte", "10 bytes", "1 entry", "14 entries".
std::string counted(std::size_t count, const std::string& one, const std::string& many);

// A device name as a log line shows it: "(no name)" for the empty name, and a name longer than
// kShownNameBytes cut there and ended with "…" (0x85 in Windows-1252).
constexpr std::size_t kShownNameBytes = 200;
std::string shown_name(const std::string& name);

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
