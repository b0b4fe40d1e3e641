#pragma once
// Follows key presses and releases in the program's own windows and records them as the key
// state by Windows virtual-key code. Keys pressed in other applications are not seen.
class QApplication;
class QKeyEvent;

namespace kv::gui {

void install_key_tracker(QApplication& app);

// The Windows virtual-key code of a Qt key event; -1 when it has none.
int virtual_key_of(const QKeyEvent& event);

}  // namespace kv::gui
