#include "server/servergo.h"

#include <chrono>
#include <cstdio>
#include <map>

#include "fs/directory.h"
#include "fs/profile.h"
#include "platform/clock.h"
#include "server/command_files.h"
#include "server/server.h"
#include "util/abandon.h"
#include "util/text.h"

namespace kv::server {
namespace {

std::function<void(const std::string&)>& log_sink() {
    static std::function<void(const std::string&)> sink;
    return sink;
}

std::map<std::string, Routine>& routines() {
    static std::map<std::string, Routine> registry;
    return registry;
}

std::string dispatch(const std::string& word, const std::string& file,
                     const std::string& base_name) {
    if (word == "SETVIEW") return build_view(file);
    if (word == "REINDEX") return run_routine("Manutenzione", true);
    if (word == "UPDATEDB") return run_routine("AggiornaDatabase", false);
    if (word == "SINCWEB") return run_routine("SincWeb", false);
    if (word == "UPDATE") return launch_updater(base_name);
    return word.empty() ? "no command: nothing done" : "unknown command " + word + ": nothing done";
}

}  // namespace

void set_server_log(std::function<void(const std::string&)> sink) {
    log_sink() = std::move(sink);
}

// Command-file names carry a 0x7F byte, and anyone who writes in the folder chooses them: the log
// shows control bytes escaped, as kv32's own log does.
void server_log(const std::string& text) {
    const std::string line = util::escape_log_text(text);
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

void SERVERGO(const std::string& base_name) {
    const auto file = first_command_file();
    if (!file) return;
    const auto started = platform::clock().now();
    const std::string word = fs::GETPVPROFSTRING("Command", "Command", "", ".\\" + *file);
    std::string done;
    try {
        done = dispatch(word, *file, base_name);
    } catch (const util::Abandon& abandoned) {
        // The user has been told; the file goes all the same, or every later tick would meet it.
        done = std::string("abandoned: ") + abandoned.what();
    }
    fs::DELETEFILE(*file);
    const auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(platform::clock().now() - started);
    server_log(*file + ": " + done + " (" + std::to_string(took.count()) + " ms)");
}

}  // namespace kv::server
