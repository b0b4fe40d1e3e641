// kvserver: the command-file server of a shared folder, and its client commands.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "errors/errors.h"
#include "gui/run_mode.h"
#include "kvserver_help.h"
#include "server/server.h"
#include "util/startup.h"

namespace {

constexpr kv::cli::Option kOptions[] = {
    {"--headless"}, {"--poll-only"}, {"--running"}, {"--post", "a command"}};

struct Arguments {
    bool headless = false;
    bool running = false;
    kv::server::ServerOptions server;
    std::optional<std::string> post;
    std::string program = "kv32";
};

// The program's settings from its parsed command line; throws cli::UsageError.
Arguments settings(const kv::cli::CommandLine& line) {
    Arguments a;
    a.headless = line.has("--headless");
    a.server.watch_folder = !line.has("--poll-only");
    a.running = line.has("--running");
    a.post = line.value("--post");
    if (line.operands.size() > 1)
        throw kv::cli::UsageError("unknown argument: " + line.operands[1]);
    if (!line.operands.empty()) a.program = line.operands.front();
    if (a.post && *a.post != "REINDEX" && *a.post != "UPDATEDB" && *a.post != "UPDATE" &&
        *a.post != "SINCWEB")
        throw kv::cli::UsageError("--post takes REINDEX, UPDATEDB, UPDATE or SINCWEB, not " +
                                  *a.post);
    return a;
}

int run_client(const Arguments& args) {
    if (args.running) {
        const bool running = kv::server::ISSERVERRUNNING();
        std::puts(running ? "A server is running." : "No server is running.");
        return running ? 0 : 1;
    }
    const std::string& word = *args.post;
    if (word == "REINDEX") kv::server::CMDREINDEX();
    if (word == "UPDATEDB") kv::server::CMDUPDATEDB();
    if (word == "UPDATE") kv::server::CMDUPDATE();
    if (word == "SINCWEB") kv::server::CMDSINCWEB();
    return 0;
}

// Serves the folder, or runs a client command; answers the exit status.
int run(const Arguments& args, int argc, char** argv) {
    const bool client = args.running || args.post;
    const bool headless = client || args.headless || !kv::gui::display_available();
    auto app = kv::gui::create_application(argc, argv, headless);
    kv::util::set_error_handler_installer(kv::errors::ERRORSYS);
    return kv::util::run_program([&] {
        if (client) return run_client(args);
        return kv::server::SERVER(args.program, args.server) ? 0 : 1;
    });
}

}  // namespace

int main(int argc, char** argv) {
    const kv::cli::Program program{"kvserver", kv::help::kvserver, kOptions};
    return kv::cli::start(program, argc, argv, [&](const kv::cli::CommandLine& line) {
        return run(settings(line), argc, argv);
    });
}
