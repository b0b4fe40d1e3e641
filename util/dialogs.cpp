#include "util/dialogs.h"

#include <string_view>

#include "gui/picture.h"
#include "gui/pump.h"
#include "gui/run_mode.h"
#include "util/msgbox.h"
#include "util/text.h"

namespace kv::util {
namespace {

bool validation_running = false;
bool refresh_running = false;

// Holds a running mark until the end of the scope.
class Running {
  public:
    explicit Running(bool& mark) : mark_(mark) { mark_ = true; }
    ~Running() { mark_ = false; }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

  private:
    bool& mark_;
};

// A field text that is neither blank nor the empty mask and names no day.
bool bad_date_text(const std::string& text) {
    return text != empty_date_mask() && !trim_blanks(text).empty() && date_from_text(text).empty();
}

bool bad_number(const gui::Control& control) {
    const auto value = control.var_get();
    const auto* number = value ? std::get_if<double>(&*value) : nullptr;
    return number && !gui::number_fits(*number, control.picture);
}

// Points the bad field out while its message is shown; always false.
bool reject_field(gui::Control& control, const std::string& message) {
    gui::Dialog& dialog = control.owner().dialog();
    control.set_focus();
    const gui::Colour saved = control.pane_colour();
    control.set_pane_colour(gui::rgb(255, 0, 0));
    dialog.redraw();
    POPMSG(message, 1);
    control.set_pane_colour(saved);
    dialog.redraw();
    control.set_focus();
    return false;
}

template <class Match>
gui::Control* find_control(gui::Container& container, const Match& match) {
    for (const auto& control : container.controls()) {
        if (match(*control)) return control.get();
        if (auto* folder = dynamic_cast<gui::Folder*>(control.get()))
            for (const auto& page : folder->pages())
                if (gui::Control* found = find_control(*page, match)) return found;
    }
    return nullptr;
}

std::vector<gui::Folder*> folders_of(gui::Container& dialog) {
    std::vector<gui::Folder*> folders;
    for (const auto& control : dialog.controls())
        if (auto* folder = dynamic_cast<gui::Folder*>(control.get())) folders.push_back(folder);
    return folders;
}

}  // namespace

gui::Variable date_variable(Date& variable) {
    return {gui::VarKind::Date, [&variable] { return gui::VarValue(date_text(variable)); },
            [&variable](const gui::VarValue& v) {
                if (const auto* text = std::get_if<std::string>(&v))
                    variable = date_from_text(*text);
            }};
}

bool VALID_(gui::Dialog& dialog, bool ask) {
    const gui::WindowRef focused = gui::WindowRef::focused();
    if (validation_running) return false;
    Running running(validation_running);
    if (!dialog.cargo || *dialog.cargo == 2) {
        if (!ask) return true;
        for (gui::Folder* folder : folders_of(dialog))
            for (const auto& page : folder->pages())
                if (page->modified) dialog.modified = true;
        if (!dialog.modified) return true;
        if (POPMSG("Annullo le modifiche?", 5) == 1) return true;
        focused.focus();
        return false;
    }
    dialog.cargo.reset();
    if (gui::Control* control = dialog.control_of(focused.get())) control->finish_edit();
    if (!VALID2_(dialog)) return false;
    for (gui::Folder* folder : folders_of(dialog)) {
        for (std::size_t i = 0; i < folder->pages().size(); ++i) {
            folder->SetOption(static_cast<int>(i) + 1);
            if (!VALID2_(*folder->pages()[i])) return false;
        }
    }
    return true;
}

bool VALID2_(gui::Container& dialog) {
    for (const auto& owned : dialog.controls()) {
        gui::Control& control = *owned;
        if (std::string_view("TMETER|TSAY").find(control.class_name()) != std::string_view::npos)
            continue;
        if (control.class_name() == "TCOMBOBOX") control.finish_edit();
        if (control.when && !control.when()) continue;
        if (control.set_get) {
            if (control.set_get->kind == gui::VarKind::Date && bad_date_text(control.text()))
                return reject_field(control, "Data non valida.");
            if (control.set_get->kind == gui::VarKind::Number && bad_number(control))
                return reject_field(control, "Numero troppo grande.");
        }
        if (control.valid && !control.valid(control))
            return reject_field(control, "Campo non valido.");
    }
    return true;
}

void REFRESHALL(gui::Container& dialog) {
    if (refresh_running) return;
    Running running(refresh_running);
    for (const auto& owned : dialog.controls()) {
        gui::Control& control = *owned;
        const std::string& kind = control.class_name();
        if (kind == "TLISTBOX" || !control.set_get) continue;
        if (kind == "TGET" || kind == "TMULTIGET" || kind == "TCOMBOBOX") {
            const std::string shown = control.text();
            if (kind == "TGET" && control.set_get->kind == gui::VarKind::Date &&
                bad_date_text(shown))
                continue;
            if (trim_trailing_blanks(control.var_text()) != trim_trailing_blanks(shown))
                control.refresh();
        } else {
            control.refresh();
        }
    }
}

void RESETMODIFY(gui::Folder& folder) {
    for (const auto& page : folder.pages()) page->modified = false;
}

gui::Control* CTL(gui::Container& dialog, int n) {
    if (n < 1 || static_cast<std::size_t>(n) > dialog.controls().size()) return nullptr;
    return dialog.controls()[static_cast<std::size_t>(n) - 1].get();
}

gui::Control* CTL(gui::Container& dialog, const std::string& var_name) {
    return find_control(dialog, [&](const gui::Control& c) { return c.var_name == var_name; });
}

gui::Control* ITEM(gui::Container& dialog, int id) {
    return find_control(dialog, [&](const gui::Control& c) { return c.id == id; });
}

void CTLDISABLE(gui::Control& control) {
    auto* combo = dynamic_cast<gui::ComboBox*>(&control);
    // A second disable keeps the value remembered by the first.
    if (combo && !combo->remembered && combo->selected() >= 0) {
        const int at = combo->selected();
        combo->remembered = combo->var_text();
        combo->remembered_at = at;
        combo->set_item(at, "");
        combo->select(at);
        if (combo->set_get && combo->set_get->set) combo->set_get->set(std::string());
    }
    control.enable(false);
}

void CTLENABLE(gui::Control& control) {
    auto* combo = dynamic_cast<gui::ComboBox*>(&control);
    if (combo && combo->remembered) {
        const int at = combo->remembered_at;
        combo->set_item(at, *combo->remembered);
        combo->select(at);
        if (combo->set_get && combo->set_get->set) combo->set_get->set(*combo->remembered);
        combo->remembered.reset();
    }
    control.enable(true);
}

void POSTSTRING(const gui::WindowRef& window, const std::string& text) {
    const gui::WindowRef target = window ? window : gui::WindowRef::active();
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > ' ')
            target.post_character(c);
        else
            target.post_key_down(byte);
        gui::SYSREFRESH();
    }
}

bool MSGGET(const std::string& title, const std::string& prompt, std::string& value) {
    if (gui::is_headless()) return false;
    std::string copy = value;
    gui::Dialog dialog(title);
    dialog.set_size(320, 118);
    dialog.add<gui::Say>(prompt, 101).at(10, 10, 300, 20);
    auto& field = dialog.add<gui::Get>(gui::text_variable(copy), "", 102);
    field.at(10, 36, 300, 24);
    field.set_focus();
    gui::add_confirm_button(dialog, "&Conferma", 201).at(10, 78, 90, 28);
    gui::add_cancel_button(dialog, "&Annulla", 202).at(106, 78, 90, 28);
    dialog.set_close_rule([&dialog] { return VALID_(dialog, false); });
    const int result = dialog.activate();
    if (result == 0 || result == 2) return false;
    value = copy;
    return true;
}

}  // namespace kv::util
