#include "server/servergo.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>

#include "errors/diagnostic.h"
#include "fs/profile.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "server/command_files.h"
#include "server/server.h"
#include "util/abandon.h"
#include "util/startup.h"
#include "util/status_popup.h"
#include "util/system_unlock.h"
#include "util/text.h"

namespace kv::server {
namespace {

// A command word longer than this is cut in the log; a whole line never gets much longer.
constexpr std::size_t kLoggedTextBytes = 200;
constexpr std::size_t kLoggedLineBytes = 1000;
// 1 MiB: far more than any command file holds.
constexpr std::uint64_t kLargestCommandFile = 1 << 20;
constexpr char kEllipsis = '\x85';  // "..." as one character in the program's code page

std::function<void(const std::string&)>& log_sink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

std::map<std::string, Routine>& routines() {
    static std::map<std::string, Routine> registry;
    return registry;
}

bool running_command = false;
std::optional<platform::TimePoint> waiting_since;  // the command's first wait

// Marks the time a command runs, for the error handler and the limit of its waits.
class CommandScope {
  public:
    CommandScope() : previous_(running_command) {
        running_command = true;
        waiting_since.reset();
    }
    ~CommandScope() {
        running_command = previous_;
        waiting_since.reset();
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

  private:
    bool previous_;
};

std::string dispatch(const std::string& word, const std::string& file,
                     const std::string& base_name) {
    if (word == "SETVIEW") return build_view(file);
    if (word == "REINDEX") return run_routine("Manutenzione", true);
    if (word == "UPDATEDB") return run_routine("AggiornaDatabase", false);
    if (word == "SINCWEB") return run_routine("SincWeb", false);
    if (word == "UPDATE") return launch_updater(base_name);
    return word.empty() ? "no command: nothing done"
                        : "unknown command " + bounded(word) + ": nothing done";
}

// What a command came to, for the log; ServerClosing and the program's end go on.
std::string carry_out(const std::string& word, const std::string& file,
                      const std::string& base_name) {
    const CommandScope scope;
    try {
        return dispatch(word, file, base_name);
    } catch (const ServerClosing&) {
        throw;
    } catch (const util::QuitProgram&) {
        throw;
    } catch (const util::Abandon& abandoned) {
        // The user has been told; the file goes all the same, or every later look would meet it.
        return std::string("abandoned: ") + abandoned.what();
    } catch (const CommandRefused& refused) {
        return std::string("refused: ") + refused.what();
    } catch (const CommandFailed& failed) {
        // A wait given up leaves its "please wait" pop-up behind.
        util::close_status_popup();
        return bounded(word) + " failed: " + failed.what();
    } catch (const std::exception& error) {
        return bounded(word) + " failed: " + error.what();
    } catch (...) {
        return bounded(word) + " failed: an unknown error";
    }
}

}  // namespace

void set_server_log(std::function<void(const std::string&)> sink) {
    log_sink() = std::move(sink);
}

std::string bounded(const std::string& text) {
    return text.size() > kLoggedTextBytes ? text.substr(0, kLoggedTextBytes) + kEllipsis : text;
}

// Command-file names carry a 0x7F byte, and anyone who writes in the folder chooses them and what
// they hold: the log shows control bytes escaped, as kv32's own log does, and lines of a bounded
// length.
void server_log(const std::string& text) {
    const std::string line = util::escape_log_text(
        text.size() > kLoggedLineBytes ? text.substr(0, kLoggedLineBytes) + kEllipsis : text);
    if (log_sink()) {
        log_sink()(line);
    } else {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
}

void register_routine(const std::string& name, Routine routine) {
    routines()[name] = std::move(routine);
}

void unregister_routine(const std::string& name) {
    routines().erase(name);
}

std::string run_routine(const std::string& name, bool with_false_argument) {
    const auto found = routines().find(name);
    // Not registered: said in the log, and the file is deleted as after any command, so that no
    // client waits for ever and the server does not meet the same file again.
    if (found == routines().end()) return "routine " + name + " is not registered: nothing done";
    std::vector<db::Value> arguments;
    if (with_false_argument) arguments.emplace_back(false);
    found->second(arguments);
    return name + " done";
}

bool command_running() {
    return running_command;
}

void note_wait() {
    if (!running_command) return;
    const auto now = platform::clock().now();
    if (!waiting_since) waiting_since = now;
    if (now - *waiting_since < kLongestWait) return;
    throw CommandFailed("a table or lock stayed in use by another program for " +
                        std::to_string(kLongestWait.count()) + " minutes: given up");
}

namespace {

// Why a command file is refused unread; "" when it may be read.
std::string why_not_a_command_file(const std::string& file) {
    struct stat st;
    if (::lstat(platform::resolve_path(file).c_str(), &st) != 0) return {};
    if (S_ISLNK(st.st_mode)) return "it is a link, which is never read";
    if (static_cast<std::uint64_t>(st.st_size) > kLargestCommandFile)
        return std::to_string(st.st_size) + " bytes, more than the " +
               std::to_string(kLargestCommandFile) + " a command file may have";
    return {};
}

}  // namespace

util::ErrorAnswer command_error(
    const util::ErrorRecord& error,
    const std::function<util::ErrorAnswer(const util::ErrorRecord&)>& outside) {
    if (!running_command) return outside(error);
    // Division by zero and the quiet failures of shared opens and appends: as always.
    if (error.gencode == 5) return 0.0;
    if ((error.gencode == 21 && error.oscode == 32 && error.candefault) ||
        (error.gencode == 40 && error.candefault)) {
        util::NETERR(true);
        return std::nullopt;
    }
    // Nobody sits at a server to read a box: the log says what the rule would have shown.
    util::unlock_system();
    std::string text = errors::disk_failure_text(error);
    if (text.empty()) {
        text = errors::ERRORMESSAGE(error);
        for (char& c : text)
            if (c == ';') c = ' ';
    } else if (error.description) {
        text = *error.description + ": " + text;
    }
    throw CommandFailed(text);
}

Served serve_command_file(const std::string& file, const std::string& base_name) {
    const auto started = platform::clock().now();
    Served served;
    std::string done;
    try {
        // A command file is a few hundred bytes: a large one is refused unread (reading it would
        // cost several times its size in memory), and a link is never read through.
        const std::string why = why_not_a_command_file(file);
        done = !why.empty() ? "refused: " + why
                            : carry_out(fs::GETPVPROFSTRING("Command", "Command", "", ".\\" + file),
                                        file, base_name);
    } catch (const ServerClosing&) {
        server_log(file + ": left for the next start: the server is closing");
        served.kept = true;
        return served;
    }
    served.deleted =
        platform::delete_file(file, platform::NameCase::AsGiven) || !platform::path_exists(file);
    if (!served.deleted)
        served.delete_error = platform::file_error_text(platform::last_file_error());
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(platform::clock().now() - started);
    server_log(file + ": " + done + " (" + std::to_string(took.count()) + " ms)");
    if (!served.deleted)
        server_log(file + ": cannot be deleted (" + served.delete_error +
                   "): not carried out again while it stays unchanged");
    return served;
}

void SERVERGO(const std::string& base_name) {
    if (const auto file = first_command_file()) serve_command_file(*file, base_name);
}

}  // namespace kv::server
