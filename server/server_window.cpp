// SERVER: the hidden window with its log and message bar, the tray icon, the 100 ms look and the
// watch on the folder, until "Chiudi" (or SIGINT/SIGTERM where there is no tray).
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSocketNotifier>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>
#include <optional>

#include <sys/stat.h>

#include "gui/main_window.h"
#include "gui/pump.h"
#include "gui/run_mode.h"
#include "gui/text.h"
#include "platform/files.h"
#include "platform/keystate.h"
#include "server/command_files.h"
#include "server/command_queue.h"
#include "server/server.h"
#include "server/servergo.h"
#include "server/share_root.h"
#include "tables/table_wait.h"

namespace kv::server {
namespace {

constexpr int kLookMilliseconds = 100;
constexpr std::chrono::milliseconds kWaitPause{5};
// While SERVER.EXE cannot be taken again, how often the server tries.
constexpr std::chrono::seconds kRetryHold{1};

// The window: out of sight, its log pane and message bar; a double-click on the tray icon brings
// it into view.
class ServerWindow {
  public:
    ServerWindow(const std::string& title, const QIcon& icon) {
        window_.setWindowTitle(gui::from_ansi(title));
        window_.setWindowIcon(icon);
        log_ = new QPlainTextEdit(&window_);
        log_->setReadOnly(true);
        // A server runs for months: its log keeps the latest lines, as the program's own does.
        log_->setMaximumBlockCount(static_cast<int>(gui::kLogPaneLines));
        window_.setCentralWidget(log_);
        window_.statusBar();
        window_.setGeometry(1000, 1000, 0, 0);
    }
    void add(const QString& line) {
        log_->appendPlainText(line);
        window_.statusBar()->showMessage(line);
    }
    void bring_into_view() {
        window_.setGeometry(100, 100, 640, 400);
        window_.show();
        window_.raise();
    }

  private:
    QMainWindow window_;
    QPlainTextEdit* log_ = nullptr;
};

std::string base_name_of(const std::string& program_name) {
    const auto slash = program_name.find_last_of('\\');
    return slash == std::string::npos ? program_name : program_name.substr(slash + 1);
}

// SERVER.EXE held for this server alone, so that ISSERVERRUNNING sees it elsewhere: the open
// file, the name it had when it was taken, and its identity, which the name must keep leading to.
struct HeldFile {
    platform::File file;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
};

// Created when missing, otherwise opened for reading, which a read-only file or one of another
// user allows. Nothing, with the reason, when it cannot be held; `other_server` tells when that is
// because another process holds it.
std::optional<HeldFile> hold_server_file(std::string& why, bool& other_server) {
    other_server = false;
    for (int tries = 0; tries < 3; ++tries) {
        const ServerProbe probe = probe_server();
        if (probe.state == ServerState::Running) break;
        if (probe.state == ServerState::Unusable) {
            why = probe.text;
            return std::nullopt;
        }
        HeldFile held;
        const bool created = probe.state == ServerState::Absent;
        struct stat st;
        if (held.file.open(
                kServerFile, created ? platform::Access::ReadWrite : platform::Access::Read,
                platform::Share::DenyAll,
                created ? platform::Disposition::CreateNew : platform::Disposition::OpenExisting,
                platform::NameCase::AsGiven) &&
            ::fstat(held.file.fd(), &st) == 0) {
            held.path = platform::resolve_path(kServerFile);
            held.device = st.st_dev;
            held.inode = st.st_ino;
            return held;
        }
        const auto error = platform::last_file_error();
        if (error.win32 == platform::win_error::SHARING_VIOLATION) break;
        if (error.win32 == platform::win_error::FILE_EXISTS) continue;  // made meanwhile
        why = std::string("Cannot serve this folder: SERVER.EXE cannot be ") +
              (created ? "created" : "opened") + " (" + platform::file_error_text(error) + ").";
        return std::nullopt;
    }
    other_server = true;
    why = "A server already runs in this folder (" + std::string(kServerFile) + " is in use).";
    return std::nullopt;
}

// Whether the name still leads to the file held: one stat, the folder is not listed. "" when it
// does, otherwise what became of it.
std::string change_of(const HeldFile& held) {
    struct stat st;
    if (held.path.empty() || ::stat(held.path.c_str(), &st) != 0)
        return std::string(kServerFile) + " is gone";
    if (st.st_dev != held.device || st.st_ino != held.inode)
        return std::string(kServerFile) + " is no longer the file this server holds";
    return {};
}

}  // namespace

std::string server_title(const std::string& program_name, const std::string& current_folder) {
    std::string name = program_name;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        name[i] = static_cast<char>(i == 0 ? std::toupper(c) : std::tolower(c));
    }
    // The current drive reads "\": no drive letter; the folder is a full path.
    return "Server " + name + " " + current_folder;
}

bool SERVER(const std::string& program_name, const ServerOptions& options) {
    std::string why;
    if (!set_share_root(options.root, &why)) {
        server_log("Cannot serve this folder: " + why + ".");
        return false;
    }
    bool other_server = false;
    auto held = hold_server_file(why, other_server);
    if (!held) {
        server_log(why);
        return false;
    }
    // No command may name it: it would wait for the server itself.
    std::optional<ScopedOwnFile> own;
    own.emplace(held->path);
    const std::string base_name = base_name_of(program_name);
    const std::string title = server_title(program_name, platform::current_folder());
    const bool windowed = !gui::is_headless() && qobject_cast<QApplication*>(qApp) != nullptr;
    const QIcon icon = windowed ? QIcon(gui::kProgramIcon) : QIcon();

    std::unique_ptr<ServerWindow> window;
    if (windowed) window = std::make_unique<ServerWindow>(title, icon);
    set_server_log([&window](const std::string& text) {
        const QString line =
            QDateTime::currentDateTime().toString("yyyy-MM-dd hh:mm:ss ") + gui::from_ansi(text);
        std::printf("%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
        if (window) window->add(line);
    });

    QEventLoop loop;
    bool busy = false;
    bool closing = false;
    CommandQueue queue(options.watch_folder, server_log);
    QTimer next;  // the next ready file, after the events that came meanwhile
    next.setSingleShot(true);
    next.setInterval(0);
    QTimer settled;  // the moment the first file written in place has settled
    settled.setSingleShot(true);
    // One command at a time: commands never overlap, and the look waits while one runs.
    auto serve = [&] {
        if (busy || closing) return;
        const auto now = CommandQueue::Clock::now();
        const auto file = queue.next_ready(now);
        if (!file) {
            if (const auto at = queue.next_settling())
                settled.start(static_cast<int>(
                    std::chrono::ceil<std::chrono::milliseconds>(*at - now).count() + 1));
            return;
        }
        busy = true;
        const Served served = serve_command_file(*file, base_name);
        busy = false;
        if (served.kept) {
            closing = true;
            loop.quit();
            return;
        }
        queue.served(*file, served.deleted);
        next.start();
    };
    QObject::connect(&next, &QTimer::timeout, serve);
    QObject::connect(&settled, &QTimer::timeout, serve);
    // Anyone who writes in the folder can remove or replace SERVER.EXE: the look sees it, and the
    // server takes it again at once, so that it stays visible and no second server starts here.
    // Should another server have taken it meanwhile, this one ends rather than serve beside it.
    bool taken_over = false;
    bool lost = false;
    std::string last_failure;
    CommandQueue::Clock::time_point retry_at{};
    auto keep_hold = [&] {
        if (closing) return;
        const auto now = CommandQueue::Clock::now();
        if (!lost) {
            const std::string change = change_of(*held);
            if (change.empty()) return;
            server_log(change + ": this server takes it again.");
            lost = true;
        } else if (now < retry_at) {
            return;
        }
        auto again = hold_server_file(why, other_server);
        if (again) {
            own.reset();
            held = std::move(again);
            own.emplace(held->path);
            lost = false;
            last_failure.clear();
            server_log(std::string(kServerFile) + " is held by this server again.");
        } else if (other_server) {
            server_log("Another server now holds " + std::string(kServerFile) +
                       " in this folder: this server ends.");
            taken_over = true;
            closing = true;
            loop.quit();
        } else {
            if (why != last_failure)
                server_log("This server cannot hold " + std::string(kServerFile) +
                           " again, so other programs do not see it: " + why +
                           " It serves on and tries again every second.");
            last_failure = why;
            retry_at = now + kRetryHold;
        }
    };
    QTimer look;
    look.setInterval(kLookMilliseconds);
    QObject::connect(&look, &QTimer::timeout, [&] {
        keep_hold();
        // While ready files are served one after the other, the folder changes with each
        // deletion: it is listed again once they are done, not ten times a second.
        if (busy || next.isActive()) return;
        queue.look();
        serve();
    });
    std::unique_ptr<QSocketNotifier> watch;
    if (queue.watch_descriptor() >= 0) {
        watch = std::make_unique<QSocketNotifier>(queue.watch_descriptor(), QSocketNotifier::Read);
        QObject::connect(watch.get(), &QSocketNotifier::activated, [&] {
            queue.read_watch();
            serve();
        });
    }
    // A command that waits for a table or a lock gives up when the server is asked to close (its
    // file stays for the next start), or when it has waited too long (its file goes).
    db::ScopedWaitPause pause([] {
        gui::wait_for_events(kWaitPause);
        if (platform::termination_requested()) throw ServerClosing();
        note_wait();
    });

    std::unique_ptr<QSystemTrayIcon> tray;
    std::unique_ptr<QMenu> menu;
    if (windowed && QSystemTrayIcon::isSystemTrayAvailable()) {
        tray = std::make_unique<QSystemTrayIcon>(icon);
        tray->setToolTip(gui::from_ansi(title));
        menu = std::make_unique<QMenu>();
        QObject::connect(menu->addAction("Chiudi"), &QAction::triggered, &loop, &QEventLoop::quit);
        tray->setContextMenu(menu.get());
        QObject::connect(tray.get(), &QSystemTrayIcon::activated,
                         [&window](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::DoubleClick) window->bring_into_view();
                         });
        tray->show();
    }
    // Without a tray there is no "Chiudi": SIGINT and SIGTERM close the server instead.
    gui::install_quit_signals([&] {
        closing = true;
        loop.quit();
    });

    server_log(title + (tray ? "" : " (no tray: SIGINT or SIGTERM closes it)"));
    if (!share_root().empty()) server_log("Share's root: " + share_root());
    look.start();
    queue.look();  // files posted before the start
    serve();
    loop.exec();
    look.stop();
    next.stop();
    settled.stop();
    if (tray) tray->hide();
    server_log("Server closed.");
    set_server_log(nullptr);
    return !taken_over;
}

}  // namespace kv::server
