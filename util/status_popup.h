#pragma once
// The non-modal status pop-up: a "wait" window, optionally with a progress bar, or in print mode
// the number of the page being printed. At most one is up; while it is, the window that was active
// when it was made is disabled. POPMSG without a message type drives it:
//
//     POPMSG({.text = "Sto leggendo i dati...", .range_low = 0, .range_high = n});  // up
//     POPMSG({.text = "Sto leggendo i dati...", .position = i});                  // progress
//     POPMSG({.text = "Quasi fatto", .replace_text = true});                      // new text
//     POPMSG();                                                                    // closed
//
// A call without text, print flag or next-page flag closes the pop-up, so progress and text
// updates carry a text.
//
//     POPMSG({.print = true});       // print mode
//     POPMSG({.next_page = true});   // once per page: shows 1, 2, 3...
//     POPMSG();
#include <memory>
#include <optional>
#include <string>

#include "gui/window_ref.h"

namespace kv::gui {
class StatusWindow;
}

namespace kv::util {

// The arguments of POPMSG without a message type; each may be absent.
struct StatusRequest {
    std::optional<std::string> text{};
    std::optional<std::string> title{};
    bool replace_text = false;
    std::optional<int> range_low{};
    std::optional<int> range_high{};
    std::optional<int> position{};
    bool print = false;
    bool next_page = false;
};

// The first of these that applies: no text and neither print nor next page closes the pop-up; no
// pop-up up makes one; the replace-text flag replaces its text and a position moves its progress
// bar; the next-page flag shows the next page number; otherwise nothing happens (a second pop-up
// is never made, and the text on screen stays). Then pending events are handled.
void POPMSG(const StatusRequest& request = {});

// The text of the status pop-up on screen: "" when it was made with a blank text; none when no
// pop-up is up or it is in print mode.
std::optional<std::string> CURMSG();

// Closes the status pop-up when one is up.
void close_status_popup();

// The status pop-up's object (see POPMSG).
class TMsgBox {
  public:
    TMsgBox();
    ~TMsgBox();
    TMsgBox(const TMsgBox&) = delete;
    TMsgBox& operator=(const TMsgBox&) = delete;

    // Makes and shows the pop-up: the waiting window for the text (title default "Attendere",
    // a progress bar from low to high when low is given), or in print mode the print window.
    void New(const std::optional<std::string>& text, const std::optional<std::string>& title,
             std::optional<int> low, std::optional<int> high, bool print);
    // Enables the window under it again and closes it.
    void End();
    // Changes the waiting window's text.
    void SetMsg(const std::string& text);
    // Moves the progress bar.
    void SetPos(int position);
    // Shows a page number in the print window.
    void SetPag(int page);

    // The pop-up's window (none headless or once ended).
    gui::StatusWindow* dialog() const { return dialog_.get(); }
    // The window that was active when the pop-up was made.
    const gui::WindowRef& owner() const { return owner_; }
    // True for the print window.
    bool print_mode() const { return print_mode_; }

    int page = 0;  // the page counter of print mode

  private:
    std::unique_ptr<gui::StatusWindow> dialog_;
    gui::WindowRef owner_;
    bool print_mode_ = false;
};

// The pop-up that is up, or nullptr.
TMsgBox* status_popup();

}  // namespace kv::util
