#pragma once
// Follows key presses and releases in the program's own windows and records them as the key
// state by Windows virtual-key code. Keys pressed in other applications are not seen.
class QApplication;
class QKeyEvent;

namespace kv::gui {

void install_key_tracker(QApplication& app);

// A window with this property set to true keeps its keys to itself: a key pressed there is not
// recorded, nor in a window opened over it. The settings dialog and the file choosers have it, so
// that the Esc that cancels one of them does not also stop the command loop beneath; menus and
// lists that pop up keep their keys too. A release is recorded wherever it ends.
constexpr const char* kKeysStayInWindow = "kv32_keys_stay_in_window";

// The Windows virtual-key code of a Qt key event; -1 when it has none.
int virtual_key_of(const QKeyEvent& event);

}  // namespace kv::gui
