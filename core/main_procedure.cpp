#include "core/main_procedure.h"

#include <pwd.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "core/command_loop.h"
#include "core/file_view.h"
#include "core/log.h"
#include "core/port_report.h"
#include "core/print.h"
#include "core/progress.h"
#include "core/receive.h"
#include "core/serial.h"
#include "core/served_folder.h"
#include "core/start_checks.h"
#include "fs/profile.h"
#include "gui/folder_check.h"
#include "gui/main_window.h"
#include "gui/pump.h"
#include "gui/run_mode.h"
#include "gui/settings_dialog.h"
#include "gui/single_instance.h"
#include "platform/keystate.h"
#include "platform/serial_device.h"
#include "platform/serial_diagnosis.h"
#include "platform/tcp_line.h"
#include "platform/texts.h"
#include "printing/page_files.h"
#include "util/msgbox.h"
#include "util/text.h"

namespace kv::core {
namespace {

gui::MainWindow* active_window = nullptr;
bool hung_up = false;
bool desktop_mode = false;
// The settings file of the run, fixed at its start: the served folder becomes the current
// folder, and the settings dialog writes the file later.
std::string run_settings_file;

std::string home_folder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/";
}

// Where a profile file named without a folder lives: $XDG_CONFIG_HOME/kv32 (when it is an
// absolute path), else ~/.config/kv32.
std::string desktop_settings_path() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string config = xdg && *xdg == '/' ? std::string(xdg) : home_folder() + "/.config";
    return config + "/kv32/" + kDesktopSettingsFile;
}

// Sets the desktop mode and the settings file for the length of MAIN.
class ScopedSettings {
  public:
    explicit ScopedSettings(bool desktop)
        : previous_mode_(desktop_mode), previous_file_(run_settings_file) {
        desktop_mode = desktop;
        run_settings_file.clear();
        std::error_code ec;
        const auto start = std::filesystem::current_path(ec);
        if (desktop)
            run_settings_file = desktop_settings_path();
        else if (!ec)
            run_settings_file = (start / "KV32.INI").string();
    }
    ~ScopedSettings() {
        desktop_mode = previous_mode_;
        run_settings_file = previous_file_;
    }
    ScopedSettings(const ScopedSettings&) = delete;
    ScopedSettings& operator=(const ScopedSettings&) = delete;

  private:
    bool previous_mode_;
    std::string previous_file_;
};

// Why the settings file could not be written.
std::string settings_write_failure(const std::string& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) return "it is a folder";
    const std::filesystem::path parent = std::filesystem::path(file).parent_path();
    const std::string target =
        std::filesystem::exists(file, ec) ? file : (parent.empty() ? "." : parent.string());
    if (::access(target.c_str(), W_OK) != 0) return std::strerror(errno);
    return "the write failed";
}

std::string read_setting(const char* key) {
    return util::trim_blanks(fs::GETPVPROFSTRING(kSettingsSection, key, "", settings_file()));
}

}  // namespace

std::string settings_file() {
    if (!run_settings_file.empty()) return run_settings_file;
    return desktop_mode ? kDesktopSettingsFile : kSettingsFile;
}

std::string desktop_root() {
    return home_folder() + "/" + kDesktopRootName;
}

std::string configured_port() {
    std::string port = fs::GETPVPROFSTRING(kSettingsSection, kPortKey, "", settings_file());
    if (!util::trim_blanks(port).empty()) return port;
    if (!fs::WRITEPPROSTRING(kSettingsSection, kPortKey, kDefaultPort, settings_file()))
        std::fprintf(stderr,
                     "kv32: cannot write the port %s into %s: %s; this run serves %s, and the "
                     "settings file needs to be a file that this user may write\n",
                     kDefaultPort, settings_file().c_str(),
                     settings_write_failure(settings_file()).c_str(), kDefaultPort);
    return kDefaultPort;
}

std::string configured_root() {
    return read_setting(kRootKey);
}

bool configured_details() {
    return read_setting(kDetailsKey) == "1";
}

namespace {

// The folder to serve for a Radice value: the default of the mode when it is empty.
std::string root_for(const std::string& root) {
    if (!root.empty()) return root;
    return desktop_mode ? desktop_root() : ".";
}

// Serves a folder; a desktop start makes its default folder the first time. False, with a box
// that says why, when the folder cannot be served; given `wants_settings`, the box offers the
// settings dialog beside OK and records whether the user asked for it.
bool serve_folder(const std::string& root, bool* wants_settings = nullptr) {
    const std::string folder = root_for(root);
    std::string why;
    if (desktop_mode && folder == desktop_root()) why = gui::make_folder(folder);
    if (set_served_root(folder)) return true;
    if (const std::string now = gui::why_folder_unusable(folder, gui::FolderUse::Enter);
        !now.empty())
        why = now;
    if (why.empty()) why = platform::translated("Folders", "the folder cannot be opened");
    const std::string text = "Errore di accesso alla cartella servita (" + folder + ").";
    std::string reason = why;
    reason[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(reason[0])));
    reason += ".";
    if (wants_settings) {
        *wants_settings = util::popmsg_offering(text + ";" + reason, "", kSettingsButton);
    } else if (gui::is_headless()) {
        util::POPMSG(text + " " + reason, 1);  // one line on standard error
    } else {
        util::POPMSG(text + ";" + reason, 1);
    }
    return false;
}

void write_settings(const gui::Settings& s) {
    const std::string file = settings_file();
    if (desktop_mode) {           // the configuration folder may not be there yet
        std::error_code ignored;  // a failed write leaves the settings for this run only
        std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ignored);
    }
    fs::WRITEPPROSTRING(kSettingsSection, kPortKey, s.port, file);
    fs::WRITEPPROSTRING(kSettingsSection, kRootKey, s.root, file);
    fs::WRITEPPROSTRING(kSettingsSection, kDetailsKey, s.details ? "1" : "0", file);
}

// The serial devices as the settings dialog lists them; the port served now is not probed.
gui::PortLister port_lister(const std::string& port_in_use) {
    return [port_in_use] {
        const std::string in_use =
            port_in_use.empty() ? std::string() : platform::serial_device_path(port_in_use);
        std::vector<gui::PortChoice> choices;
        for (const auto& f : serial_port_facts(in_use)) {
            std::string description = f.description;
            for (const auto& alias : f.aliases) description += "; " + alias;
            std::string verdict;
            if (f.in_use_here)
                verdict = "in uso da KV32";
            else if (!f.can_open)
                verdict = "non si apre: " + f.cause;
            choices.push_back({f.name, f.path, description, f.can_open || f.in_use_here, verdict});
        }
        return choices;
    };
}

std::string status_text() {
    return "Cartella servita: " + served_root();
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

namespace {

// The stall limit of the run: --stall-limit, else the settings file's, else the default.
void apply_stall_limit(const StartOptions& options) {
    auto limit = options.stall_limit;
    if (!limit) {
        const std::string value = read_setting(kStallLimitKey);
        if (!value.empty()) {
            limit = parse_stall_limit(value);
            if (!limit)
                log_line("Settings: " + std::string(kStallLimitKey) + "=" + value +
                         " is not a number of seconds from 0.1 to 3600; " +
                         std::to_string(kDefaultStallLimit.count() / 1000) + " is used.");
        }
    }
    set_stall_limit(limit.value_or(kDefaultStallLimit));
}

// One run of the program: the window, the port and the settings in use, and the changes of
// settings that wait for the command loop to come between two commands.
class Run {
  public:
    Run(const StartOptions& options, std::string port, std::string root, bool details)
        : options_(options), port_(std::move(port)), root_(std::move(root)), details_(details) {}

    bool serve();

  private:
    gui::Settings current() const { return {port_, root_for(root_), details_}; }
    void open_first_port();
    bool wait_for_port();
    void start();
    void serve_commands();
    void apply(const gui::Settings& s);
    bool reopen(const std::string& port);
    void open_settings();
    bool ending() const { return esc_held() || platform::termination_requested() || hung_up; }

    const StartOptions& options_;
    std::string port_;
    std::string root_;
    bool details_;
    std::unique_ptr<gui::MainWindow> window_;
    int handle_ = -1;
    bool served_ = false;
    bool ended_waiting_ = false;  // a signal ended the wait for the port
    std::optional<gui::Settings> pending_;
};

bool Run::serve() {
    gui::set_log_timestamps(options_.timestamps);
    ScopedVerboseLog verbose(options_.verbose || details_);
    window_ = gui::create_main_window(window_title(port_), 500, 500);
    gui::LogPane& pane = window_->log_pane();
    hung_up = false;
    std::optional<ScopedHangupEnd> end_on_hangup;
    if (options_.exit_on_hangup)
        end_on_hangup.emplace([this] {
            hung_up = true;
            platform::request_termination();  // a command in progress ends at once
            window_->request_close();
        });

    active_window = window_.get();
    ScopedLogSink log([&pane](const std::string& line) {
        MESSAGE(pane, line);
        note_device_activity();  // a Load may have changed the device's folder
    });
    apply_stall_limit(options_);
    ScopedProgressSink progress(window_progress_sink(*window_));
    window_->set_status(status_text());
    if (window_->widget())
        window_->set_files_handler([this] { open_file_view(window_->widget()); });
    window_->set_start_handler([this] { start(); });
    window_->activate([this] {
        open_first_port();
        window_->set_close_guard([] { return !util::GETASYNCKEYSTATE(platform::VK_F4); });
        if (handle_ < 0) window_->request_close();
    });
    active_window = nullptr;
    interrupt_command_wait(false);
    end_print_job();

    if (handle_ >= 0) CLOSECOMM(handle_);
    return served_ || ended_waiting_;
}

// Before the window is shown: a failure's box offers the settings, and the port chosen there is
// tried in turn, until one opens or the user gives up.
void Run::open_first_port() {
    if (options_.wait_for_port && !wait_for_port()) return;
    for (;;) {
        bool wants_settings = false;
        // A start that fails tells in its box all that is wrong with it.
        ScopedPortBoxNote note(served_folder_warning(served_root()));
        handle_ = APRICOM(*window_, port_, window_->widget() ? &wants_settings : nullptr);
        if (handle_ >= 0 || !wants_settings) break;
        const auto chosen = gui::run_settings_dialog(current(), port_lister({}));
        if (!chosen) break;
        write_settings(*chosen);
        details_ = chosen->details;
        set_verbose_log(details_ || options_.verbose);
        if (chosen->root != root_) {
            if (!serve_folder(chosen->root)) break;
            root_ = chosen->root;
            window_->set_status(status_text());
        }
        port_ = chosen->port;
        window_->set_title(window_title(port_));
    }
    if (handle_ < 0) return;
    served_ = true;
    // Headless, nothing else shows what is served: the log's first line says it.
    if (options_.timestamps || gui::is_headless())
        log_line(served_line(port_, std::filesystem::current_path().string()));
    if (const std::string warning = served_folder_warning(served_root()); !warning.empty())
        log_line(warning);
    for (const auto& warning : print_destination_warnings()) log_line(warning);
    window_->set_settings_handler([this] { open_settings(); });
}

// --wait-for-port: a device port that cannot be opened yet is waited for, as one that vanished
// while served is: looked at a few times a second until it opens. False when the program was
// asked to end meanwhile.
bool Run::wait_for_port() {
    if (platform::is_tcp_port_name(port_) || platform::is_pseudo_terminal_name(port_)) return true;
    const std::string path = platform::serial_device_path(port_);
    int error = platform::probe_serial_device(path);
    if (error == 0) return true;
    log_line("Serial port " + port_ + " (" + path + ") cannot be opened: " +
             platform::open_failure_cause(path, error) + "; waiting for it (--wait-for-port).");
    constexpr auto kLook = std::chrono::milliseconds(250);
    while (error != 0) {
        if (platform::termination_requested()) {
            ended_waiting_ = true;
            return false;
        }
        gui::wait_for_events(kLook);  // a signal ends the wait at once
        error = platform::probe_serial_device(path);
    }
    log_line("Serial port " + port_ + ": the device is there.");
    return true;
}

// The dialog opens over the window without stopping the command loop; what it confirms is
// written at once and waits for the loop to come between two commands.
void Run::open_settings() {
    gui::open_settings_dialog(window_->widget(), current(), port_lister(handle_ >= 0 ? port_ : ""),
                              [this](const gui::Settings& s) {
                                  write_settings(s);
                                  pending_ = s;
                                  interrupt_command_wait();
                              });
}

void Run::start() {
    serve_commands();
    // The loop ends on Esc (or a signal). Esc that came while a print job kept the window
    // disabled could not ask the window to close: ending the job, the program asks for it.
    if (end_print_job()) window_->request_close();
    if (window_->closing() || platform::termination_requested()) return;
    // Esc held in another window of the program ended the loop, and the window stays: its status
    // line says so (the log stays as the loop left it), and the port is let go, so that nothing
    // is received that nobody reads.
    if (handle_ >= 0) {
        CLOSECOMM(handle_);
        handle_ = -1;
    }
    window_->set_settings_handler(nullptr);
    window_->set_status(platform::translated(
        "MainWindow", "KV32 no longer serves the device: press Esc in this window to end KV32."));
}

void Run::serve_commands() {
    bool start_byte = true;
    for (;;) {
        if (handle_ >= 0) {
            if (!KV(handle_, window_->log_pane(), start_byte)) return;
            start_byte = false;
        } else {
            // No port open: wait for the settings to name one, or for the end.
            while (!pending_ && !ending()) gui::wait_for_events(std::nullopt);
            interrupt_command_wait(false);
            if (ending()) return;
        }
        if (!pending_) continue;
        const gui::Settings s = *pending_;
        pending_.reset();
        apply(s);
        if (s.port != port_ || handle_ < 0) start_byte = reopen(s.port);
    }
}

// A change of settings, between two commands: the outcome lines at once, and the served folder.
void Run::apply(const gui::Settings& s) {
    details_ = s.details;
    set_verbose_log(details_ || options_.verbose);
    if (root_for(s.root) == root_for(root_)) return;
    if (serve_folder(s.root)) {
        root_ = s.root;
        log_line(platform::translated("Log", "Now serving %1.").arg(served_root()));
        if (const std::string warning = served_folder_warning(served_root()); !warning.empty())
            log_line(warning);
    } else {
        log_line(platform::translated("Log", "Still serving %1.").arg(served_root()));
    }
    window_->set_status(status_text());
}

// Closes the port served and opens another; true when it opened (and so needs the start byte).
bool Run::reopen(const std::string& port) {
    if (handle_ >= 0) {
        CLOSECOMM(handle_);
        handle_ = -1;
        receive_buffer().clear();  // bytes of the old line
        log_line("Serial port " + port_ + " closed.");
    }
    port_ = port;
    window_->set_title(window_title(port_));
    bool wants_settings = false;
    handle_ = APRICOM(*window_, port_, &wants_settings);
    if (handle_ < 0) {
        log_line("Serial port " + port_ + " cannot be opened: choose another in Impostazioni.");
        if (wants_settings) open_settings();
        return false;
    }
    served_ = true;
    log_line("Serial port " + port_ + " open.");
    if (options_.timestamps || gui::is_headless()) log_line(served_line(port_, served_root()));
    return true;
}

}  // namespace

std::optional<std::chrono::milliseconds> parse_stall_limit(const std::string& seconds) {
    const std::string text = util::trim_blanks(seconds);
    if (text.empty() || text.size() > 12) return std::nullopt;
    double value = 0;  // in any locale a dot before the fraction
    const auto [end, error] =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
    if (error != std::errc() || end != text.data() + text.size() ||
        !(value >= 0.1 && value <= 3600))
        return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(value * 1000 + 0.5));
}

bool MAIN(const StartOptions& options) {
    ScopedSettings settings(options.desktop);
    // One desktop KV32 for a settings file: a second one brings the first to the front and ends.
    if (options.desktop && !gui::claim_single_instance(settings_file(), [] {
            QWidget* dialog = gui::open_settings_dialog_widget();
            gui::bring_to_front(dialog          ? dialog
                                : active_window ? active_window->widget()
                                                : nullptr);
        })) {
        std::fprintf(stderr,
                     "kv32: KV32 already runs with the settings %s: its window is "
                     "brought to the front.\n",
                     settings_file().c_str());
        return true;
    }
    if (options.desktop)
        protect_settings_file(settings_file());  // a served home folder holds it
    else if (!settings_file_usable(kSettingsFile))
        return false;
    std::string port;
    std::optional<gui::Settings> first;
    if (options.port) {
        port = *options.port;
    } else if (options.desktop && read_setting(kPortKey).empty()) {
        // The first start from the desktop: nothing is written, nothing served, until the user
        // has chosen a port.
        if (gui::is_headless()) {
            util::POPMSG(
                "Nessuna porta seriale impostata: scegliere la porta con KV32 avviato "
                "dal menu del desktop, o indicarla con --port.",
                1);
            return false;
        }
        first = gui::run_settings_dialog(
            {"", options.root ? *options.root : root_for(configured_root()), configured_details()},
            port_lister({}));
        if (!first) return true;
        write_settings(*first);
        port = first->port;
    } else {
        port = configured_port();
    }
    std::string root = options.root ? *options.root : configured_root();
    // A folder that cannot be served: with a window, its box leads to the settings dialog, and
    // the folder chosen there is tried in turn (a folder given with --root is not the dialog's).
    for (;;) {
        bool wants_settings = false;
        const bool offer = !gui::is_headless() && !options.root;
        if (serve_folder(root, offer ? &wants_settings : nullptr)) break;
        if (!wants_settings) return false;
        const auto chosen = gui::run_settings_dialog(
            {options.port ? *options.port : port, root_for(root), configured_details()},
            port_lister({}));
        if (!chosen) return false;
        write_settings(*chosen);
        root = chosen->root;
        if (!options.port) port = chosen->port;
    }
    // Page files of jobs whose program ended abnormally; running jobs keep theirs.
    printing::remove_stale_page_files(served_root());
    Run run(options, port, root, configured_details());
    return run.serve();
}

bool ended_on_hangup() {
    return hung_up;
}

void request_main_window_close() {
    gui::cancel_settings_dialog();
    if (active_window) active_window->request_close();
}

ProgressSink window_progress_sink(gui::MainWindow& window) {
    return [&window](const std::string& text, std::size_t done, std::size_t total) {
        window.show_progress(util::escape_log_text(text), done, total);
    };
}

}  // namespace kv::core
