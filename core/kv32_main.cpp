// kv32: serves the device on the serial port, in a window or headless.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "core/main_procedure.h"
#include "core/port_report.h"
#include "core/print.h"
#include "core/tcp_port.h"
#include "errors/errors.h"
#include "gui/main_window.h"
#include "gui/run_mode.h"
#include "gui/terminal_keys.h"
#include "kv32_help.h"
#include "platform/beneath.h"
#include "platform/keystate.h"
#include "platform/tcp_allow.h"
#include "util/startup.h"

namespace {

constexpr kv::cli::Option kOptions[] = {
    {"--headless"},
    {"--timestamps"},
    {"--exit-on-hangup"},
    {"--verbose"},
    {"--list-ports"},
    {"--port", "a port name"},
    {"--root", "a folder"},
    {"--printer", "a printer name"},
    {"--print-to", "a folder"},
    {"--desktop"},
    {"--log", "a file"},
    {"--no-outside-links"},
    {"--idle-limit", "a number of seconds"},
    {"--allow", "an address or network"},
    {"--wait-for-port"},
    {"--stall-limit", "a number of seconds"},
};

// The TCP line's sharing from --idle-limit and --allow; throws cli::UsageError.
kv::core::TcpPolicy tcp_settings(const kv::cli::CommandLine& line) {
    using kv::cli::UsageError;
    kv::core::TcpPolicy policy;
    if (const auto limit = line.value("--idle-limit")) {
        double seconds = 0;
        const auto [end, ec] =
            std::from_chars(limit->data(), limit->data() + limit->size(), seconds);
        if (limit->empty() || ec != std::errc{} || end != limit->data() + limit->size() ||
            !(seconds > 0) || seconds > 86400)
            throw UsageError("--idle-limit needs a number of seconds above 0, up to 86400, not \"" +
                             *limit + "\"");
        policy.idle_limit = std::chrono::duration_cast<std::chrono::nanoseconds>(
            std::chrono::duration<double>(seconds));
    }
    for (const std::string& text : line.all("--allow")) {
        const auto network = kv::platform::parse_network(text);
        if (!network)
            throw UsageError("--allow needs an address with an optional /PREFIX, not \"" + text +
                             "\"");
        policy.allowed.push_back(*network);
    }
    return policy;
}

struct Arguments {
    bool headless = false;
    bool list_ports = false;
    std::vector<std::string> port_names;  // with --list-ports
    std::optional<std::string> log_file;
    kv::core::StartOptions start;
    kv::core::PrintDestination print;
};

// The program's settings from its parsed command line; throws cli::UsageError.
Arguments settings(const kv::cli::CommandLine& line) {
    using kv::cli::UsageError;
    Arguments a;
    a.headless = line.has("--headless");
    a.start.timestamps = line.has("--timestamps");
    a.start.exit_on_hangup = line.has("--exit-on-hangup");
    a.start.verbose = line.has("--verbose");
    a.start.desktop = line.has("--desktop");
    a.log_file = line.value("--log");
    // Links in the served folder that lead outside it: followed only when this user owns them.
    kv::platform::set_outside_links(!line.has("--no-outside-links"));
    kv::core::set_tcp_policy(tcp_settings(line));
    a.list_ports = line.has("--list-ports");
    if (!a.list_ports && !line.operands.empty())
        throw UsageError("unknown argument: " + line.operands.front());
    a.port_names = line.operands;
    a.start.port = line.value("--port");
    a.start.root = line.value("--root");
    a.print.printer = line.value("--printer");
    a.print.folder = line.value("--print-to");
    if (a.print.printer && a.print.printer->empty())
        throw UsageError("--printer needs a printer name");
    if (a.print.folder && !std::filesystem::is_directory(*a.print.folder))
        throw UsageError("--print-to: no such folder: " + *a.print.folder);
    if (a.print.folder)  // the device may change the current folder later
        a.print.folder = std::filesystem::absolute(*a.print.folder).string();
    if (a.start.port && a.start.port->empty()) throw UsageError("--port needs a port name");
    if (a.start.root && a.start.root->empty()) throw UsageError("--root needs a folder");
    if (a.log_file && a.log_file->empty()) throw UsageError("--log needs a file");
    a.start.wait_for_port = line.has("--wait-for-port");
    if (const auto limit = line.value("--stall-limit")) {
        a.start.stall_limit = kv::core::parse_stall_limit(*limit);
        if (!a.start.stall_limit)
            throw UsageError("--stall-limit needs a number of seconds from 0.1 to 3600: " + *limit);
    }
    return a;
}

// Lists the ports, or serves the device until the program ends; answers the exit status.
int run(Arguments args, int argc, char** argv) {
    if (args.list_ports) {
        if (args.port_names.empty() && args.start.port) args.port_names.push_back(*args.start.port);
        bool all_can_open = true;
        std::fputs(kv::core::list_ports_report(args.port_names, &all_can_open).c_str(), stdout);
        return all_can_open ? 0 : 1;
    }
    if (args.log_file) {
        std::string why;
        if (!kv::gui::set_log_file(*args.log_file, &why)) {
            std::fprintf(stderr,
                         "kv32: cannot open the log file %s: %s; give --log a file that this "
                         "user may write\n",
                         args.log_file->c_str(), why.c_str());
            return 1;
        }
    }
    kv::core::set_print_destination(args.print);
    const bool headless = args.headless || !kv::gui::display_available();
    auto app = kv::gui::create_application(argc, argv, headless);
    kv::gui::install_quit_signals([] { kv::core::request_main_window_close(); });
    // Headless in a terminal, Esc typed there ends KV32 as Esc in the window does: the key is
    // held down and the window asked to close.
    if (headless)
        kv::gui::install_terminal_keys([] {
            kv::platform::set_key_down(kv::platform::VK_ESCAPE, true);
            kv::core::request_main_window_close();
        });
    kv::util::set_error_handler_installer(kv::errors::ERRORSYS);
    const int status = kv::util::run_program([&] {
        if (!kv::core::MAIN(args.start)) return 1;
        return kv::core::ended_on_hangup() ? kv::core::kHangupExitStatus : 0;
    });
    kv::gui::restore_terminal();
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    const kv::cli::Program program{"kv32", kv::help::kv32, kOptions};
    return kv::cli::start(program, argc, argv, [&](const kv::cli::CommandLine& line) {
        return run(settings(line), argc, argv);
    });
}
