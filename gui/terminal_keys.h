#pragma once
// Headless in a terminal: the keys typed on standard input. While KV32 reads them the terminal
// neither echoes them nor waits for a whole line (Ctrl+C still interrupts); its settings are put
// back when the program ends, also when a signal ends it.
#include <functional>
#include <string_view>

namespace kv::gui {

// When standard input is a terminal that this process may use (not a job in the background),
// reads it key by key without echo and calls `on_escape` on the GUI thread for each Esc key.
// False, with the terminal left alone, otherwise.
bool install_terminal_keys(std::function<void()> on_escape);

// Puts back the terminal settings that install_terminal_keys changed; nothing when it changed
// none. Async-signal-safe.
void restore_terminal() noexcept;

// The Esc keys in what one read of a terminal brings: an Esc byte on its own, not the start
// of another key's escape sequence ("\x1b[A" for the up arrow, Alt+x as "\x1bx").
int escape_keys_in(std::string_view bytes);

}  // namespace kv::gui
