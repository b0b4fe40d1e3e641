#include "core/main_procedure.h"

#include <filesystem>

#include "core/command_loop.h"
#include "core/log.h"
#include "core/print.h"
#include "core/serial.h"
#include "core/served_folder.h"
#include "core/start_checks.h"
#include "fs/profile.h"
#include "gui/main_window.h"
#include "platform/keystate.h"
#include "platform/serial_device.h"
#include "platform/tcp_line.h"
#include "printing/page_files.h"
#include "util/msgbox.h"
#include "util/text.h"

namespace kv::core {
namespace {

gui::MainWindow* active_window = nullptr;
bool hung_up = false;

}  // namespace

std::string configured_port() {
    std::string port = fs::GETPVPROFSTRING(kSettingsSection, kPortKey, "", kSettingsFile);
    if (!util::trim_blanks(port).empty()) return port;
    fs::WRITEPPROSTRING(kSettingsSection, kPortKey, kDefaultPort, kSettingsFile);
    return kDefaultPort;
}

std::string configured_root() {
    return util::trim_blanks(fs::GETPVPROFSTRING(kSettingsSection, kRootKey, "", kSettingsFile));
}

bool configured_details() {
    return util::trim_blanks(
               fs::GETPVPROFSTRING(kSettingsSection, kDetailsKey, "", kSettingsFile)) == "1";
}

namespace {

// Serves the folder the options or the settings name, else the start folder.
bool serve_root(const StartOptions& options) {
    const std::string root = options.root ? *options.root : configured_root();
    if (set_served_root(root.empty() ? "." : root)) return true;
    util::POPMSG("Errore di accesso alla cartella servita (" + root + ").", 1);
    return false;
}

}  // namespace

std::string window_title(const std::string& port) {
    return std::string("KV32 v") + KV32_VERSION + " (" + port + ":57600,N,8,1)";
}

std::string served_line(const std::string& port, const std::string& folder) {
    if (platform::is_tcp_port_name(port)) {
        const auto address = platform::parse_tcp_port_name(port);
        return std::string("KV32 ") + KV32_VERSION + " serving " + port +
               (address ? " (TCP " + platform::address_text(*address) + ")" : "") + " from " +
               folder;
    }
    const std::string device = platform::is_pseudo_terminal_name(port)
                                   ? "a new pseudo-terminal"
                                   : platform::serial_device_path(port);
    return std::string("KV32 ") + KV32_VERSION + " serving " +
           (device == port ? port : port + " (" + device + ")") + " at 57600,N,8,1 from " + folder;
}

bool MAIN(const StartOptions& options) {
    if (!settings_file_usable(kSettingsFile)) return false;
    const std::string port = options.port ? *options.port : configured_port();
    if (!serve_root(options)) return false;
    // Page files of jobs whose program ended abnormally; running jobs keep theirs.
    printing::remove_stale_page_files(served_root());
    gui::set_log_timestamps(options.timestamps);
    ScopedVerboseLog verbose(options.verbose || configured_details());
    auto window = gui::create_main_window(window_title(port), 500, 500);
    gui::LogPane& pane = window->log_pane();
    int handle = -1;
    hung_up = false;
    std::optional<ScopedHangupEnd> end_on_hangup;
    if (options.exit_on_hangup)
        end_on_hangup.emplace([&window] {
            hung_up = true;
            platform::request_termination();  // a command in progress ends at once
            window->request_close();
        });

    active_window = window.get();
    ScopedLogSink log([&pane](const std::string& line) { MESSAGE(pane, line); });
    // The loop ends on Esc (or a signal). Esc that came while a print job kept the window
    // disabled could not ask the window to close: ending the job, the program asks for it.
    window->set_start_handler([&] {
        KV(handle, pane);
        if (end_print_job()) window->request_close();
    });
    window->activate([&] {
        handle = APRICOM(*window, port);
        if (handle >= 0 && options.timestamps)
            log_line(served_line(port, std::filesystem::current_path().string()));
        if (const std::string warning = served_folder_warning(served_root());
            handle >= 0 && !warning.empty())
            log_line(warning);
        window->set_close_guard([] { return !util::GETASYNCKEYSTATE(platform::VK_F4); });
        if (handle < 0) window->request_close();
    });
    active_window = nullptr;
    end_print_job();

    if (handle >= 0) CLOSECOMM(handle);
    return handle >= 0;
}

bool ended_on_hangup() {
    return hung_up;
}

void request_main_window_close() {
    if (active_window) active_window->request_close();
}

}  // namespace kv::core
