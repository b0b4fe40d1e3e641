#pragma once
// SERVERGO: one command file carried out, and the pieces it dispatches to.
#include <functional>
#include <string>

namespace kv::server {

// Carries out the first command file of the current folder and deletes it; logs the file, what
// was done and how long it took. Nothing when no command file is waiting.
void SERVERGO(const std::string& base_name);

// Where the server's log lines go (standard output while none is set).
void set_server_log(std::function<void(const std::string&)> sink);
void server_log(const std::string& line);

// The pieces of the dispatch; each returns what was done, for the log.
std::string run_routine(const std::string& name, bool with_false_argument);
std::string launch_updater(const std::string& base_name);
std::string build_view(const std::string& command_file);

}  // namespace kv::server
