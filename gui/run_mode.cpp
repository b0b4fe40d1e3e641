#include "gui/run_mode.h"

#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QSocketNotifier>
#include <QTranslator>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gui/event_exceptions.h"
#include "gui/key_tracker.h"
#include "gui/terminal_keys.h"
#include "gui/translation.h"
#include "platform/keystate.h"

namespace kv::gui {
namespace {

bool headless_mode = false;

// The application object of either mode, delivering each event under the exception guard.
template <class Base>
class GuardedApplication : public Base {
  public:
    using Base::Base;
    bool notify(QObject* receiver, QEvent* event) override {
        return deliver_guarded([&] { return Base::notify(receiver, event); });
    }
};
int signal_pipe[2] = {-1, -1};

std::atomic<int> quit_signals{0};

// The first signal asks for a normal end: Esc held, every wait for the device ended, then the
// window closed and the shut-down procedure run. A second signal ends the program at once.
void on_quit_signal(int sig) {
    if (quit_signals.fetch_add(1) > 0) {
        restore_terminal();
        static const char text[] = "kv32: ended by a second signal\n";
        [[maybe_unused]] auto w = ::write(2, text, sizeof text - 1);
        ::_exit(128 + sig);
    }
    platform::latch_key_down(platform::VK_ESCAPE);
    platform::request_termination();
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signal_pipe[1], &byte, 1);
}

bool env_set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

bool can_connect(int family, const sockaddr* address, socklen_t length) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool ok = ::connect(fd, address, length) == 0;
    ::close(fd);
    return ok;
}

bool can_connect_unix(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    return can_connect(AF_UNIX, reinterpret_cast<sockaddr*>(&address), sizeof address);
}

bool can_connect_tcp(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool ok = false;
    for (auto* a = found; a && !ok; a = a->ai_next)
        ok = can_connect(a->ai_family, a->ai_addr, a->ai_addrlen);
    ::freeaddrinfo(found);
    return ok;
}

// An X server answers on DISPLAY ("[host]:n[.screen]"): its local socket, or TCP port 6000 + n.
bool x_server_answers(const std::string& display) {
    const auto colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    const int number = std::atoi(display.c_str() + colon + 1);
    if (host.empty() || host == "unix")
        return can_connect_unix("/tmp/.X11-unix/X" + std::to_string(number));
    return can_connect_tcp(host, 6000 + number);
}

bool wayland_answers(const std::string& display) {
    if (!display.empty() && display.front() == '/') return can_connect_unix(display);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && can_connect_unix(std::string(runtime) + "/" + display);
}

QtMessageHandler qt_handler = nullptr;

// Qt's notes about the runtime folder (XDG_RUNTIME_DIR unset under su, sudo, cron or a service,
// or another user's) are no concern of this program's users: Qt makes a folder of its own and
// goes on. Every other message of Qt's goes where it went.
void without_runtime_notes(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: "))) return;
    if (qt_handler)
        qt_handler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

}  // namespace

bool display_available() {
    if (env_set("QT_QPA_PLATFORM")) return true;  // the user named the window system
    if (env_set("WAYLAND_DISPLAY") && wayland_answers(std::getenv("WAYLAND_DISPLAY"))) return true;
    return env_set("DISPLAY") && x_server_answers(std::getenv("DISPLAY"));
}

bool is_headless() {
    return headless_mode;
}
void set_headless(bool headless) {
    headless_mode = headless;
}

std::unique_ptr<QCoreApplication> create_application(int& argc, char** argv, bool headless) {
    set_headless(headless);
    static const bool filtered = [] {
        qt_handler = qInstallMessageHandler(without_runtime_notes);
        return true;
    }();
    (void)filtered;
    if (headless) {
        // No window is shown, but documents are still laid out and printed: fonts and painting
        // need a GUI application, which the offscreen platform provides without a display.
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return std::make_unique<GuardedApplication<QGuiApplication>>(argc, argv);
    }
    auto app = std::make_unique<GuardedApplication<QApplication>>(argc, argv);
    app->setWindowIcon(QIcon(kProgramIcon));
    install_qt_translation(*app);
    install_program_translation(*app);
    install_key_tracker(*app);
    return app;
}

QTranslator* install_qt_translation(QCoreApplication& app) {
    auto* translator = new QTranslator(&app);
    if (!translator->load(QLocale(QLocale::Italian, QLocale::Italy), "qtbase", "_",
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return nullptr;
    }
    QCoreApplication::installTranslator(translator);
    return translator;
}

void close_modal_windows() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return;
    std::vector<QPointer<QWidget>> windows;
    for (QWidget* w : QApplication::topLevelWidgets()) windows.emplace_back(w);
    for (const auto& w : windows) {
        if (!w || !w->isVisible()) continue;
        if (auto* dialog = qobject_cast<QDialog*>(w.data())) {
            if (dialog->isModal() || dialog->windowModality() != Qt::NonModal) dialog->reject();
        } else if (w->windowModality() != Qt::NonModal) {
            w->close();
        }
    }
}

void forget_quit_signals() {
    quit_signals.store(0);
}

void install_quit_signals(std::function<void()> on_signal) {
    if (signal_pipe[0] < 0) {
        if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
        struct sigaction sa {};
        sa.sa_handler = on_quit_signal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGINT, &sa, nullptr);
        sigaction(SIGTERM, &sa, nullptr);
        // A hang-up of the terminal ends the program normally too, unless it was started to
        // ignore hang-ups (nohup).
        struct sigaction hup {};
        if (sigaction(SIGHUP, nullptr, &hup) == 0 && hup.sa_handler != SIG_IGN)
            sigaction(SIGHUP, &sa, nullptr);
    }
    auto* notifier =
        new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [on_signal = std::move(on_signal)] {
                         char buf[64];
                         while (::read(signal_pipe[0], buf, sizeof buf) > 0) {
                         }
                         close_modal_windows();
                         if (on_signal) on_signal();
                     });
}

}  // namespace kv::gui
