// kvserver: the command-file server of a shared folder, and its client commands.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "errors/errors.h"
#include "gui/run_mode.h"
#include "kvserver_help.h"
#include "server/server.h"
#include "util/startup.h"

namespace {

struct Arguments {
    bool headless = false;
    bool help = false;
    bool version = false;
    bool running = false;
    kv::server::ServerOptions server;
    std::optional<std::string> post;
    std::string program = "kv32";
    std::string error;
};

Arguments parse(int argc, char** argv) {
    Arguments a;
    bool program_given = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless")
            a.headless = true;
        else if (arg == "--help" || arg == "-h")
            a.help = true;
        else if (arg == "--version")
            a.version = true;
        else if (arg == "--poll-only")
            a.server.watch_folder = false;
        else if (arg == "--running")
            a.running = true;
        else if (arg == "--post" && i + 1 < argc)
            a.post = argv[++i];
        else if (arg == "--post")
            a.error = "--post needs a command";
        else if (!arg.empty() && arg[0] != '-' && !program_given) {
            a.program = arg;
            program_given = true;
        } else
            a.error = "unknown argument: " + arg;
    }
    if (a.post && *a.post != "REINDEX" && *a.post != "UPDATEDB" && *a.post != "UPDATE" &&
        *a.post != "SINCWEB")
        a.error = "--post takes REINDEX, UPDATEDB, UPDATE or SINCWEB, not " + *a.post;
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

}  // namespace

int main(int argc, char** argv) {
    Arguments args = parse(argc, argv);
    if (!args.error.empty()) {
        std::fprintf(stderr, "kvserver: %s\n\n%s", args.error.c_str(), kv::help::kvserver);
        return 2;
    }
    if (args.help) {
        std::fputs(kv::help::kvserver, stdout);
        return 0;
    }
    if (args.version) {
        std::printf("kvserver (KV32 %s)\n", KV32_VERSION);
        return 0;
    }
    const bool client = args.running || args.post;
    const bool headless = client || args.headless || !kv::gui::display_available();
    auto app = kv::gui::create_application(argc, argv, headless);
    kv::util::set_error_handler_installer(kv::errors::ERRORSYS);
    return kv::util::run_program([&] {
        if (client) return run_client(args);
        return kv::server::SERVER(args.program, args.server) ? 0 : 1;
    });
}
