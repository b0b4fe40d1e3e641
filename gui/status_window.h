#pragma once
// The windows of the status pop-up. The waiting window shows a warning icon, a text in Arial at
// 15 pixels, a busy cursor and optionally a progress bar; the print window shows a printer, "Sto
// stampando la pagina n.:" and the page number. Neither has a close box, and neither closes while
// Esc or F4 is held down: the program closes them with close(). Both are shown non-modal.
#include <memory>
#include <optional>
#include <string>

class QDialog;
class QWidget;

namespace kv::gui {

struct ProgressRange {
    int low = 0;
    int high = 100;
};

class StatusWindow {
  public:
    // The waiting window for a text (Windows-1252, lines ended by CR LF) of `lines` lines whose
    // widest line is `width` pixels wide; with a progress bar when a range is given. Sized and
    // centred as it opens. Headless there is no window: the title and text go to standard error
    // and the result is empty.
    static std::unique_ptr<StatusWindow> waiting(const std::string& title, const std::string& text,
                                                 int lines, int width,
                                                 std::optional<ProgressRange> range);
    // The print window, captioned "Attendere", with an empty page number; empty headless. Kept
    // above `owner` (the window printing), or above the modal window on screen when none is given.
    static std::unique_ptr<StatusWindow> printing(QWidget* owner = nullptr);

    virtual ~StatusWindow();
    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

    // Sets the text of the second control: the text of the waiting window, the page number of
    // the print window.
    virtual void set_text(const std::string& text) = 0;
    // Moves the progress bar (kept within its range); nothing without one.
    virtual void set_position(int position) = 0;
    // Repaints the text control now.
    virtual void redraw_text() = 0;
    // Drops the close restriction and closes the window.
    virtual void close() = 0;
    // True while the window is the active one.
    virtual bool active() const = 0;

    virtual QDialog* dialog() const = 0;

  protected:
    StatusWindow() = default;
};

// The width in pixels of a line of text in the font of the waiting window; 0 without a screen.
int waiting_text_width(const std::string& line);

}  // namespace kv::gui
