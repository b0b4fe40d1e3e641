#include "util/status_popup.h"

#include <QDialog>
#include <algorithm>
#include <vector>

#include "gui/pump.h"
#include "gui/status_window.h"
#include "util/msgbox.h"
#include "util/text.h"

namespace kv::util {
namespace {

constexpr std::size_t kTextLineWidth = 79;  // the standard width of a text line

// The pop-up that is up and the text it shows. The box object lives for the whole run, so that a
// close request handled while it is being made cannot pull it from under its own method.
struct PopupState {
    TMsgBox box;
    bool up = false;
    std::optional<std::string> text;
};

PopupState& state() {
    static auto* s = new PopupState;
    return *s;
}

// The lines of a text as a text line of the standard width holds them: a line break ends a line,
// and so does the width, at the last blank before it when there is one.
std::vector<std::string> text_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        while (line.size() > kTextLineWidth) {
            std::size_t cut = line.rfind(' ', kTextLineWidth);
            if (cut == std::string::npos || cut == 0) cut = kTextLineWidth;
            lines.push_back(line.substr(0, cut));
            line.erase(0, cut == kTextLineWidth ? cut : cut + 1);
        }
        lines.push_back(line);
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

}  // namespace

TMsgBox::TMsgBox() = default;
TMsgBox::~TMsgBox() = default;

void TMsgBox::New(const std::optional<std::string>& text, const std::optional<std::string>& title,
                  std::optional<int> low, std::optional<int> high, bool print) {
    const std::string caption = title.value_or("Attendere");
    const std::string shown = text.value_or("");
    print_mode_ = print;
    int lines = 1;
    int width = 0;
    if (!print) {
        if (trim_blanks(shown).empty()) {
            width = static_cast<int>(shown.size()) - 100;
            state().text = "";
        } else {
            const auto all = text_lines(shown);
            lines = static_cast<int>(all.size());
            for (const auto& line : all)
                width = std::max(width, gui::waiting_text_width(trim_trailing_blanks(line)));
            state().text = shown;
        }
    }
    owner_ = gui::WindowRef::active();
    if (print) {
        page = 0;
        dialog_ = gui::StatusWindow::printing(owner_.get());
    } else {
        std::optional<gui::ProgressRange> range;
        if (low) range = gui::ProgressRange{*low, high.value_or(100)};
        dialog_ = gui::StatusWindow::waiting(caption, shown, lines, width, range);
    }
    owner_.enable(false);
    // A window kept above its owner is disabled with it; it still shows the page and moves.
    if (dialog_ && dialog_->dialog()) dialog_->dialog()->setEnabled(true);
    gui::SYSREFRESH();
    if (dialog_) dialog_->redraw_text();
}

void TMsgBox::End() {
    owner_.enable(true);
    const bool had_keyboard = dialog_ && dialog_->active();
    if (dialog_) dialog_->close();
    dialog_.reset();
    // The keyboard goes back to the window under it, as it does when an owned window closes.
    if (had_keyboard) owner_.activate();
    owner_ = {};
    state().text.reset();
}

void TMsgBox::SetMsg(const std::string& text) {
    if (dialog_) dialog_->set_text(text);
    if (!print_mode_) state().text = text;
}

void TMsgBox::SetPos(int position) {
    if (dialog_) dialog_->set_position(position);
}

void TMsgBox::SetPag(int n) {
    if (dialog_) dialog_->set_text(std::to_string(n));
}

void POPMSG(const StatusRequest& request) {
    std::optional<std::string> text;
    if (request.text) text = message_text(*request.text);
    PopupState& s = state();
    if (!text && !request.print && !request.next_page) {
        close_status_popup();
    } else if (!s.up) {
        s.up = true;
        s.box.New(text, request.title, request.range_low, request.range_high, request.print);
    } else if (request.replace_text || request.position) {
        if (request.replace_text) s.box.SetMsg(text.value_or(""));
        // The position is moved one step further, as the progress bar of current desktops shows
        // it.
        if (request.position) s.box.SetPos(*request.position + 1);
    } else if (request.next_page) {
        s.box.SetPag(++s.box.page);
    }
    gui::SYSREFRESH();
}

std::optional<std::string> CURMSG() {
    return state().text;
}

void close_status_popup() {
    PopupState& s = state();
    if (!s.up) return;
    s.up = false;
    s.box.End();
}

TMsgBox* status_popup() {
    return state().up ? &state().box : nullptr;
}

}  // namespace kv::util
