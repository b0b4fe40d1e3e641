#pragma once
// Modal message boxes of the window layer. Texts are Windows-1252 bytes.
#include <functional>
#include <string>

class QMessageBox;

namespace kv::gui {

enum class BoxIcon { Information, Question, Stop };
enum class BoxButtons { Ok, OkCancel, YesNoCancel, YesNo };

// Windows button codes, which the boxes return.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
// The code of a request's extra button.
constexpr int kExtraButton = 100;

// What a message box shows and which buttons it offers.
struct BoxRequest {
    std::string title;
    std::string text;
    BoxIcon icon = BoxIcon::Information;
    BoxButtons buttons = BoxButtons::Ok;
    int default_button = 1;  // 1-based, in the order the buttons are listed above
    // More about the message (the cause and the remedy): the box's details; headless, the next
    // line on standard error.
    std::string details;
    // A button of the program's own beside the standard ones ("Impostazioni..."); none when
    // empty. Pressing it answers kExtraButton. Never the default, never the answer headless.
    std::string extra_button;
};

// Shows the box modally over the active window (none when no window is active) and returns the
// code of the button pressed; Esc or a close counts as Cancel (or No where there is no Cancel).
// Headless: writes title and text to standard error and returns the default button's code.
int show_message_box(const BoxRequest& request);

// The code of the default button of a request.
int default_answer(const BoxRequest& request);

// Tests answer boxes through an answerer: it is called with the box on screen, once its event
// loop runs, and answers it (for instance by clicking a button or pressing Enter).
using BoxAnswerer = std::function<void(QMessageBox& box, const BoxRequest& request)>;
// Installs an answerer for every later box (an empty one: the user answers).
void set_box_answerer(BoxAnswerer answerer);

// Installs an answerer for the length of a scope and puts the one before it back.
class ScopedBoxAnswerer {
  public:
    // Installs the answerer.
    explicit ScopedBoxAnswerer(BoxAnswerer answerer);
    ~ScopedBoxAnswerer();
    ScopedBoxAnswerer(const ScopedBoxAnswerer&) = delete;
    ScopedBoxAnswerer& operator=(const ScopedBoxAnswerer&) = delete;

  private:
    BoxAnswerer previous_;
};
// The answerer used while none is set (test programs install one that fails the test and answers
// the box, so that an unexpected box never waits for a person).
void set_fallback_box_answerer(BoxAnswerer answerer);

// The desktop's beep.
void beep();

}  // namespace kv::gui
