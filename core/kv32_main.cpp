// kv32: serves the device on the serial port, in a window or headless.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/main_procedure.h"
#include "errors/errors.h"
#include "gui/run_mode.h"
#include "util/startup.h"

namespace {

constexpr const char* kUsage =
    "Usage: kv32 [--headless] [--port NAME] [--root DIR]\n"
    "\n"
    "Lends this PC's disk and printer to the device on a serial port (57600 baud, 8N1).\n"
    "The port comes from KV32.INI in the current folder (section Impostazioni, key Porta;\n"
    "COM1 when none is set). Press Esc in the window to end the program.\n"
    "The device's files live in the served folder, which the device sees as the root of a\n"
    "drive and cannot leave: the current folder, or the folder named by key Radice.\n"
    "\n"
    "Options:\n"
    "  --port NAME   use this port for this run only; the settings file is left alone.\n"
    "                COMn is /dev/ttyS(n-1), a name starting with / is a device path,\n"
    "                PTY serves on a new pseudo-terminal and logs the path to open,\n"
    "                any other name is /dev/NAME (ttyUSB0, ttyACM0).\n"
    "  --root DIR    serve this folder for this run only. --root / lets the device reach\n"
    "                every folder that this user can.\n"
    "  --headless    no window: the log goes to standard output, messages to standard\n"
    "                error, and SIGINT or SIGTERM end the program as Esc does. Chosen by\n"
    "                itself when no display can be opened.\n"
    "  --help        show this text.\n"
    "  --version     show the version.\n"
    "\n"
    "Exit status: 0 after a normal end, 1 when the served folder or the port could not be\n"
    "opened, 2 for bad usage, 3 when an unexpected run-time error was reported (its report\n"
    "offers a mail to send).\n";

struct Arguments {
    bool headless = false;
    bool help = false;
    bool version = false;
    kv::core::StartOptions start;
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
        else if (arg == "--port" && i + 1 < argc)
            a.start.port = argv[++i];
        else if (arg.rfind("--port=", 0) == 0)
            a.start.port = arg.substr(7);
        else if (arg == "--root" && i + 1 < argc)
            a.start.root = argv[++i];
        else if (arg.rfind("--root=", 0) == 0)
            a.start.root = arg.substr(7);
        else if (arg == "--port" || arg == "--root")
            a.error = arg + " needs a " + (arg == "--port" ? "port name" : "folder");
        else
            a.error = "unknown argument: " + arg;
    }
    if (a.start.port && a.start.port->empty()) a.error = "--port needs a port name";
    if (a.start.root && a.start.root->empty()) a.error = "--root needs a folder";
    return a;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args = parse(argc, argv);
    if (!args.error.empty()) {
        std::fprintf(stderr, "kv32: %s\n\n%s", args.error.c_str(), kUsage);
        return 2;
    }
    if (args.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.version) {
        std::printf("KV32 %s\n", KV32_VERSION);
        return 0;
    }
    const bool headless = args.headless || !kv::gui::display_available();
    auto app = kv::gui::create_application(argc, argv, headless);
    kv::gui::install_quit_signals([] { kv::core::request_main_window_close(); });
    kv::util::set_error_handler_installer(kv::errors::ERRORSYS);
    return kv::util::run_program([&] { return kv::core::MAIN(args.start) ? 0 : 1; });
}
