#pragma once
// The program's log: lines for the log pane from anywhere in the core, on the window's thread.
#include <functional>
#include <string>

namespace kv::core {

// Where log lines go; the start procedure points it at the log pane. Without a sink, lines go
// to standard error.
void set_log_sink(std::function<void(const std::string&)> sink);
void log_line(const std::string& line);

}  // namespace kv::core
