// SERVER: the hidden window with its log and message bar, the tray icon, the 100 ms poll and the
// watch on the folder, until "Chiudi" (or SIGINT/SIGTERM where there is no tray).
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QEventLoop>
#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

#include "gui/run_mode.h"
#include "gui/text.h"
#include "platform/files.h"
#include "server/command_files.h"
#include "server/server.h"
#include "server/servergo.h"

namespace kv::server {
namespace {

constexpr int kPollMilliseconds = 100;

// The window: out of sight, its log pane and message bar; a double-click on the tray icon brings
// it into view.
class ServerWindow {
  public:
    ServerWindow(const std::string& title, const QIcon& icon) {
        window_.setWindowTitle(gui::from_ansi(title));
        window_.setWindowIcon(icon);
        log_ = new QPlainTextEdit(&window_);
        log_->setReadOnly(true);
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
    platform::File held;  // while it is held, ISSERVERRUNNING answers true in this folder
    if (!held.open(kServerFile, platform::Access::ReadWrite, platform::Share::DenyAll,
                   platform::Disposition::OpenAlways, platform::NameCase::AsGiven)) {
        server_log("A server already runs in this folder (" + std::string(kServerFile) +
                   " is in use).");
        return false;
    }
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
    QTimer timer;
    timer.setInterval(kPollMilliseconds);
    bool busy = false;
    // One command file per tick; the timer stands still while a command runs, so commands never
    // overlap and a long one delays the next poll.
    auto tick = [&] {
        if (busy || !platform::file_exists(kCommandPattern)) return;
        busy = true;
        timer.stop();
        SERVERGO(base_name);
        timer.start();
        busy = false;
    };
    QObject::connect(&timer, &QTimer::timeout, tick);
    // Beyond the poll: the folder's change notices wake the server as soon as a file appears.
    QFileSystemWatcher watcher;
    if (options.watch_folder)
        watcher.addPath(QString::fromLocal8Bit(platform::current_folder().c_str()));
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, tick);

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
    gui::install_quit_signals([&loop] { loop.quit(); });

    server_log(title + (tray ? "" : " (no tray: SIGINT or SIGTERM closes it)"));
    timer.start();
    tick();  // files posted before the start
    loop.exec();
    timer.stop();
    if (tray) tray->hide();
    server_log("Server closed.");
    set_server_log(nullptr);
    return true;
}

}  // namespace kv::server
