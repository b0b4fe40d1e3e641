#pragma once
// The program's run mode and its Qt application object. Windowed runs need a display; headless
// runs show no window, write log lines to standard output and message boxes to standard error.
#include <QCoreApplication>
#include <functional>
#include <memory>

class QTranslator;

namespace kv::gui {

// True when a window system can be reached: a Qt platform is named, or the Wayland compositor or
// X server that the environment names answers.
bool display_available();

// The program's icon among the window layer's resources.
constexpr const char* kProgramIcon = ":/kv32/kv32.svg";

// True when the program runs without windows.
bool is_headless();
// Sets the run mode; made once at start, before any window.
void set_headless(bool headless);

// Creates the application object for the mode: QApplication with key tracking for windowed runs,
// QGuiApplication on the offscreen platform for headless ones.
std::unique_ptr<QCoreApplication> create_application(int& argc, char** argv, bool headless);

// The program speaks Italian: Qt's own texts (the standard buttons of message boxes, "Show
// Details...", the file dialogs) are loaded in Italian too when the system has Qt's translations.
// Returns the translator, owned by the application, or nullptr when there is none to load.
QTranslator* install_qt_translation(QCoreApplication& app);

// Sets the run mode for the length of a scope and puts the one before it back.
class ScopedHeadless {
  public:
    // Sets the run mode until the guard ends.
    explicit ScopedHeadless(bool headless) : previous_(is_headless()) { set_headless(headless); }
    ~ScopedHeadless() { set_headless(previous_); }
    ScopedHeadless(const ScopedHeadless&) = delete;
    ScopedHeadless& operator=(const ScopedHeadless&) = delete;

  private:
    bool previous_;
};

// On SIGINT, SIGTERM or SIGHUP (unless hang-ups are ignored): Esc counts as held down from then on,
// termination is requested (see platform/keystate.h), and `on_signal` runs on the GUI thread (the
// event loop wakes for it). A second signal ends the process at once.
// Modal windows open at the signal (message boxes, dialogs, previews) are closed first, as their
// own cancel or close would: nothing keeps the program from ending.
void install_quit_signals(std::function<void()> on_signal);

// Closes every modal window: dialogs are cancelled, other windows closed.
void close_modal_windows();

// Forgets earlier quit signals, so that the next one is a first again (tests).
void forget_quit_signals();

}  // namespace kv::gui
