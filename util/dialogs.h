#pragma once
// The library's dialogs: the rule by which they may close, the one-line question MSGGET, and small
// utilities over dialogs and their controls.
//
// A dialog closes under VALID_: dialog.set_close_rule([&] { return VALID_(dialog, false); }).
// Closed by its confirm button (cargo 1), every active field is checked first and the first bad
// one is pointed out; closed any other way with changes made, it asks "Annullo le modifiche?"
// when the ask flag is true.
#include <string>

#include "gui/controls.h"
#include "gui/dialog.h"
#include "gui/window_ref.h"
#include "util/dates.h"

namespace kv::util {

// A date variable for a control: the field shows the date in the date format (blanks for the
// empty date); a text that names no day leaves the empty date.
gui::Variable date_variable(Date& variable);

// Asks for one line of text under a title and a prompt. True, with the edited text stored into
// value, when the user confirmed; false, value untouched, otherwise (and always headless).
bool MSGGET(const std::string& title, const std::string& prompt, std::string& value);

// The close rule: true lets the dialog close. A close request that arrives while another
// validation waits for the user is refused.
bool VALID_(gui::Dialog& dialog, bool ask);
// Checks the fields of a dialog or folder page in order; the first bad one gets the focus, a red
// background while its message ("Data non valida.", "Numero troppo grande.", "Campo non valido.")
// is shown, and the result is false.
bool VALID2_(gui::Container& dialog);

// Shows again the controls whose shown text no longer matches their variable. A call made while
// one runs returns at once.
void REFRESHALL(gui::Container& dialog);
// Clears the modified flag of every page of a folder.
void RESETMODIFY(gui::Folder& folder);

// The n-th control (from 1) of a dialog or page; nullptr when there are fewer.
gui::Control* CTL(gui::Container& dialog, int n);
// The first control whose variable has this name, searching folder pages depth-first.
gui::Control* CTL(gui::Container& dialog, const std::string& var_name);
// The first control with this id, searching folder pages depth-first.
gui::Control* ITEM(gui::Container& dialog, int id);

// A combo box keeps its value while disabled, showing and holding "" instead; enabling it puts
// the value back. Other controls are just enabled or disabled.
void CTLENABLE(gui::Control& control);
// Disables a control (see CTLENABLE).
void CTLDISABLE(gui::Control& control);

// Types a text into a window (the active one when none is given), one character at a time,
// handling pending events after each: characters above the blank as typed characters, the blank
// and control characters as key presses.
void POSTSTRING(const gui::WindowRef& window, const std::string& text);

}  // namespace kv::util
