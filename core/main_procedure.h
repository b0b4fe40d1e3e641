#pragma once
// The program's start procedure: reads the port from KV32.INI, shows the main window with its
// log, opens the port while the window initialises and serves commands until Esc.
#include <chrono>
#include <optional>
#include <string>

#include "core/progress.h"

namespace kv::gui {
class MainWindow;
}

namespace kv::core {

constexpr const char* kSettingsFile = ".\\KV32.INI";
// Started from the desktop: the settings file in the per-user configuration folder
// ($XDG_CONFIG_HOME/kv32, else ~/.config/kv32), where a name without a folder leads.
constexpr const char* kDesktopSettingsFile = "KV32.INI";
// Started from the desktop: the folder served when the settings name none, in the home folder.
constexpr const char* kDesktopRootName = "KV32";
constexpr const char* kSettingsSection = "Impostazioni";
constexpr const char* kPortKey = "Porta";
constexpr const char* kRootKey = "Radice";
constexpr const char* kDetailsKey = "Dettagli";
constexpr const char* kDefaultPort = "COM1";
// Seconds a write may wait for a device that takes nothing (see core::set_stall_limit).
constexpr const char* kStallLimitKey = "AttesaScrittura";

struct StartOptions {
    // A port for this run only: the settings file's port is neither read nor written.
    std::optional<std::string> port;
    // The folder to serve for this run only; otherwise the settings file's, else the start folder.
    std::optional<std::string> root;
    // Headless log lines carry the time; the first line says what is served.
    bool timestamps = false;
    // After each command's log line, a line that says what became of it. Also set by the
    // settings file's Dettagli=1.
    bool verbose = false;
    // When the device disappears, end (see ended_on_hangup) instead of waiting for it to come
    // back.
    bool exit_on_hangup = false;
    // Started from the desktop menu: the settings file is kDesktopSettingsFile, the default
    // folder ~/KV32 (made when first served), and a first start (no port set) opens the settings
    // dialog instead of taking COM1.
    bool desktop = false;
    // A port that is missing or cannot be opened at the start is waited for, as one that
    // vanishes while served is, instead of ending the program.
    bool wait_for_port = false;
    // How long a write waits for a device that takes nothing; otherwise the settings file's
    // AttesaScrittura, else core::kDefaultStallLimit.
    std::optional<std::chrono::milliseconds> stall_limit;
};

// A number of seconds from 0.1 to 3600 ("15", "2.5") as a stall limit; nothing for anything else.
std::optional<std::chrono::milliseconds> parse_stall_limit(const std::string& seconds);

// The exit status of a run that ended because the device disappeared (exit_on_hangup).
constexpr int kHangupExitStatus = 4;

// "KV32 1.0.0 serving COM3 (/dev/ttyS2) at 57600,N,8,1 from /srv/device".
std::string served_line(const std::string& port, const std::string& folder);

// The settings file in use: kSettingsFile, or kDesktopSettingsFile while a desktop MAIN runs.
std::string settings_file();

// The folder a desktop start serves when the settings name none: ~/KV32.
std::string desktop_root();

// The port name from the settings file; "COM1", written back, when it is missing or blank.
std::string configured_port();

// The folder to serve from the settings file ("" when none is set: the start folder). Never
// written.
std::string configured_root();

// True when the settings file asks for a line on each command's outcome (Dettagli=1). Never
// written.
bool configured_details();

// "KV32 v<version> (<port>:57600,N,8,1)".
std::string window_title(const std::string& port);

// Shows the progress that the handlers report in the window's status line, as the program does
// while it runs.
ProgressSink window_progress_sink(gui::MainWindow& window);

// Runs the program. False when the served folder or the port could not be opened (the user has
// been told).
bool MAIN(const StartOptions& options = {});

// True when the last MAIN ended because its device disappeared (exit_on_hangup).
bool ended_on_hangup();

// A close request to the main window while MAIN runs (SIGINT, SIGTERM); nothing otherwise.
void request_main_window_close();

}  // namespace kv::core
