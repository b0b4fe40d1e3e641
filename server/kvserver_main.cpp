// kvserver: the command-file server of a shared folder, and its client commands.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "errors/errors.h"
#include "gui/run_mode.h"
#include "kvserver_help.h"
#include "server/command_files.h"
#include "server/server.h"
#include "server/servergo.h"
#include "util/startup.h"

namespace {

constexpr kv::cli::Option kOptions[] = {{"--headless"},    {"--poll-only"},
                                        {"--running"},     {"--post", "a command"},
                                        {"--wait-server"}, {"--root", "a folder"}};

struct Arguments {
    bool headless = false;
    bool running = false;
    bool wait_server = false;
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
    a.wait_server = line.has("--wait-server");
    a.server.root = line.value("--root").value_or("");
    // A word with a dash is a mistyped option (-x, -headless), never the program's name.
    for (const auto& operand : line.operands)
        if (operand.size() > 1 && operand[0] == '-')
            throw kv::cli::UsageError("unknown option " + operand);
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
    namespace server = kv::server;
    const server::ServerProbe probe = server::probe_server();
    if (args.running) {
        std::puts(probe.text.c_str());
        return probe.state == server::ServerState::Running ? 0 : 1;
    }
    const std::string& word = *args.post;
    if (::access(".", W_OK) != 0) {
        std::fprintf(stderr, "kvserver: cannot post %s: this folder cannot be written (%s)\n",
                     word.c_str(), std::strerror(errno));
        return 1;
    }
    const bool running = probe.state == server::ServerState::Running;
    if (!running && !args.wait_server) {
        std::fprintf(stderr, "kvserver: %s %s not posted (--wait-server posts it all the same).\n",
                     probe.text.c_str(), word.c_str());
        return 1;
    }
    std::string why;
    const auto file = server::post_command(word, &why);
    if (!file) {
        std::fprintf(stderr, "kvserver: cannot post %s: %s\n", word.c_str(), why.c_str());
        return 1;
    }
    if (word == "SINCWEB") return 0;
    // Only what the poster can know: the command file's deletion says that a server took the
    // command, not what became of it (that is in the server's log).
    std::printf("%s posted; waiting for %s to take it\n", word.c_str(),
                running ? "the server" : "a server to start and");
    std::fflush(stdout);
    server::wait_until_deleted(*file);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char at[16];
    std::strftime(at, sizeof at, "%H:%M:%S", &local);
    std::printf("%s posted; the server took it at %s (its log says what it did)\n", word.c_str(),
                at);
    return 0;
}

// Serves the folder, or runs a client command; answers the exit status.
int run(const Arguments& args, int argc, char** argv) {
    const bool client = args.running || args.post;
    const bool headless = client || args.headless || !kv::gui::display_available();
    auto app = kv::gui::create_application(argc, argv, headless);
    kv::util::set_error_handler_installer([] {
        kv::errors::ERRORSYS();
        // A run-time error of a command abandons that command; any other is the program's.
        kv::util::set_error_handler([](const kv::util::ErrorRecord& error) {
            return kv::server::command_error(error, kv::errors::DEFERROR);
        });
    });
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
