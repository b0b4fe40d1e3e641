#include "gui/session.h"

#include <QApplication>
#include <QSocketNotifier>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include "gui/key_tracker.h"
#include "platform/keystate.h"

namespace kv::gui {
namespace {

bool headless_mode = false;
int signal_pipe[2] = {-1, -1};

std::atomic<int> quit_signals{0};

// The first signal asks for a normal end (Esc). A command handler may still be waiting for the
// end of a name, which Esc does not cut short; a second signal ends the program at once.
void on_quit_signal(int sig) {
    if (quit_signals.fetch_add(1) > 0) {
        static const char text[] = "kv32: ended by a second signal\n";
        [[maybe_unused]] auto w = ::write(2, text, sizeof text - 1);
        ::_exit(128 + sig);
    }
    platform::latch_key_down(platform::VK_ESCAPE);
    const char byte = 1;
    [[maybe_unused]] auto n = ::write(signal_pipe[1], &byte, 1);
}

bool env_set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

}  // namespace

bool display_available() {
    return env_set("QT_QPA_PLATFORM") || env_set("DISPLAY") || env_set("WAYLAND_DISPLAY");
}

bool is_headless() { return headless_mode; }
void set_headless(bool headless) { headless_mode = headless; }

std::unique_ptr<QCoreApplication> create_application(int& argc, char** argv, bool headless) {
    set_headless(headless);
    if (headless) return std::make_unique<QCoreApplication>(argc, argv);
    auto app = std::make_unique<QApplication>(argc, argv);
    install_key_tracker(*app);
    return app;
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
    }
    auto* notifier = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read,
                                         QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [on_signal = std::move(on_signal)] {
                         char buf[64];
                         while (::read(signal_pipe[0], buf, sizeof buf) > 0) {
                         }
                         if (on_signal) on_signal();
                     });
}

}  // namespace kv::gui
