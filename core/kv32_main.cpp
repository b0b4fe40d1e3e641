// kv32: serves the device on the serial port, in a window or headless.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "core/main_procedure.h"
#include "core/port_report.h"
#include "core/print.h"
#include "errors/errors.h"
#include "gui/run_mode.h"
#include "gui/terminal_keys.h"
#include "kv32_help.h"
#include "platform/keystate.h"
#include "util/startup.h"

namespace {

struct Arguments {
    bool headless = false;
    bool help = false;
    bool version = false;
    bool list_ports = false;
    std::vector<std::string> port_names;  // after --list-ports
    kv::core::StartOptions start;
    kv::core::PrintDestination print;
    std::string error;
};

Arguments parse(int argc, char** argv) {
    Arguments a;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--headless")
            a.headless = true;
        else if (arg == "--help" || arg == "-h")
            a.help = true;
        else if (arg == "--version")
            a.version = true;
        else if (arg == "--timestamps")
            a.start.timestamps = true;
        else if (arg == "--exit-on-hangup")
            a.start.exit_on_hangup = true;
        else if (arg == "--verbose")
            a.start.verbose = true;
        else if (arg == "--list-ports")
            a.list_ports = true;
        else if (a.list_ports && !arg.empty() && arg[0] != '-')
            a.port_names.push_back(arg);
        else if (arg == "--port" && i + 1 < argc)
            a.start.port = argv[++i];
        else if (arg.rfind("--port=", 0) == 0)
            a.start.port = arg.substr(7);
        else if (arg == "--root" && i + 1 < argc)
            a.start.root = argv[++i];
        else if (arg.rfind("--root=", 0) == 0)
            a.start.root = arg.substr(7);
        else if (arg == "--printer" && i + 1 < argc)
            a.print.printer = argv[++i];
        else if (arg == "--print-to" && i + 1 < argc)
            a.print.folder = argv[++i];
        else if (arg == "--port" || arg == "--root")
            a.error = arg + " needs a " + (arg == "--port" ? "port name" : "folder");
        else if (arg == "--printer" || arg == "--print-to")
            a.error = arg + (arg == "--printer" ? " needs a printer name" : " needs a folder");
        else
            a.error = "unknown argument: " + arg;
    }
    if (a.print.printer && a.print.printer->empty()) a.error = "--printer needs a printer name";
    if (a.print.folder && !std::filesystem::is_directory(*a.print.folder))
        a.error = "--print-to: no such folder: " + *a.print.folder;
    else if (a.print.folder)  // the device may change the current folder later
        a.print.folder = std::filesystem::absolute(*a.print.folder).string();
    if (a.start.port && a.start.port->empty()) a.error = "--port needs a port name";
    if (a.start.root && a.start.root->empty()) a.error = "--root needs a folder";
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args = parse(argc, argv);
    if (!args.error.empty()) {
        std::fprintf(stderr, "kv32: %s\n\n%s", args.error.c_str(), kv::help::kv32);
        return 2;
    }
    if (args.help) {
        std::fputs(kv::help::kv32, stdout);
        return 0;
    }
    if (args.version) {
        std::printf("KV32 %s\n", KV32_VERSION);
        return 0;
    }
    if (args.list_ports) {
        if (args.port_names.empty() && args.start.port) args.port_names.push_back(*args.start.port);
        bool all_can_open = true;
        std::fputs(kv::core::list_ports_report(args.port_names, &all_can_open).c_str(), stdout);
        return all_can_open ? 0 : 1;
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
