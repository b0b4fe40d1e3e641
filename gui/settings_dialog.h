#pragma once
// The settings dialog "Impostazioni": the serial port (chosen from the machine's serial devices,
// each with what it is and whether KV32 can open it, or typed), the served folder (typed or
// chosen with a folder chooser) and the outcome lines of the log (Dettagli). Texts are
// Windows-1252 bytes, as everywhere in the window layer.
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace kv::gui {

struct Settings {
    std::string port;
    std::string root;
    bool details = false;
};

// One serial device as the dialog offers it.
struct PortChoice {
    std::string name;         // what the Porta key takes: COM1, ttyUSB0, a path
    std::string path;         // /dev/ttyUSB0
    std::string description;  // what it is
    bool can_open = false;    // KV32 can open it now
    std::string verdict;      // why not, or that it is the port in use
};

// The serial devices of the machine, asked for each time the dialog opens or its list is
// refreshed.
using PortLister = std::function<std::vector<PortChoice>()>;

// Object names of the dialog's controls, for tests and pictures.
constexpr const char* kSettingsDialogName = "settings";
constexpr const char* kPortListName = "port_list";
constexpr const char* kPortEditName = "port";
constexpr const char* kRootEditName = "root";
constexpr const char* kRootChooseName = "choose_root";
constexpr const char* kDetailsName = "details";
constexpr const char* kRefreshName = "refresh_ports";

// Opens the dialog over `parent` and returns at once; `done` runs with the settings when the
// user confirms them (OK with a port given), never when the dialog is cancelled. The dialog
// deletes itself when it closes.
QWidget* open_settings_dialog(QWidget* parent, const Settings& current, PortLister ports,
                              std::function<void(const Settings&)> done);

// Runs the dialog modally, without a parent window; the settings confirmed, or nothing when the
// dialog was cancelled.
std::optional<Settings> run_settings_dialog(const Settings& current, PortLister ports);

// The settings dialog that is open now (nullptr when none is).
QWidget* open_settings_dialog_widget();
// Cancels the settings dialog that is open, if any (the program is asked to end).
void cancel_settings_dialog();

}  // namespace kv::gui
