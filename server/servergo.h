#pragma once
// SERVERGO: one command file carried out, and the pieces it dispatches to.
#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>

#include "util/error_record.h"

namespace kv::server {

// A command that asks for something the server does not do (a name outside the share's root):
// refused, logged as refused, and its file deleted.
class CommandRefused : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A run-time error raised while a command ran: the command is abandoned with the error's
// description and the text of the handler's rule, and the server goes on.
class CommandFailed : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The server is closing (SIGINT, SIGTERM) while a command waits: the command is left, its file
// kept for the next start.
class ServerClosing : public std::runtime_error {
  public:
    ServerClosing() : std::runtime_error("the server is closing") {}
};

// How one command file went.
struct Served {
    bool kept = false;         // left for the next start: the server is closing
    bool deleted = false;      // the file is gone
    std::string delete_error;  // why it could not be deleted
};

// Carries out the named command file of the current folder and deletes it; logs the file, what
// was done and how long it took. A run-time error, an abandon or any other failure of the
// command ends that command only.
Served serve_command_file(const std::string& file, const std::string& base_name);

// Carries out the first command file of the current folder (nothing when none is waiting).
void SERVERGO(const std::string& base_name);

// The error handler of the server program: while a command runs, the rules that would tell the
// user and abandon, or report and end the program, abandon that command instead (CommandFailed);
// division by zero and the quiet failures answer as always. Outside a command it hands every
// error to `outside` (the program's own handler).
util::ErrorAnswer command_error(
    const util::ErrorRecord& error,
    const std::function<util::ErrorAnswer(const util::ErrorRecord&)>& outside);
// True while a command runs.
bool command_running();

// The longest a command waits, in all, for tables and locks that other programs hold: a file that
// nobody releases must not hold the server, and every command after it, for ever.
inline constexpr std::chrono::minutes kLongestWait{10};
// Called between two tries of such a wait: once the command in progress has waited kLongestWait,
// on the program's clock, it is given up (CommandFailed) and its file deleted.
void note_wait();

// Where the server's log lines go (standard output while none is set).
void set_server_log(std::function<void(const std::string&)> sink);
// Logs a line: control bytes escaped, cut to a bounded length.
void server_log(const std::string& line);
// A text from a command file as the log shows it: at most 200 bytes, a longer one cut with "...".
std::string bounded(const std::string& text);

// The pieces of the dispatch; each returns what was done, for the log.
std::string run_routine(const std::string& name, bool with_false_argument);
std::string launch_updater(const std::string& base_name);
std::string build_view(const std::string& command_file);

}  // namespace kv::server
