#pragma once
// The command loop: sends the start byte, then waits for command letters and hands each one to
// its handler until the user presses Esc.
#include <string>

namespace kv::gui {
class LogPane;
}

namespace kv::core {

using CommandHandler = void (*)(int port);

struct Command {
    char letter;
    const char* log_line;
    CommandHandler handler;
};

// The handler of a command letter; nullptr for a byte that is not a command.
const Command* find_command(char letter);

// Appends one line to the log pane, control bytes escaped (see util::escape_log_text).
void MESSAGE(gui::LogPane& pane, const std::string& text);

// Serves commands on the port until Esc is held down or the program is asked to end.
void KV(int port, gui::LogPane& pane);

}  // namespace kv::core
