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

// Serves commands on the port until Esc is held down or the program is asked to end: false then.
// Returns true, between two commands, when its wait for a command was interrupted for a change
// of settings (see interrupt_command_wait); the change is the caller's to make. The start byte
// 0x00 goes to the device first, unless the loop goes on with a device that has had it.
bool KV(int port, gui::LogPane& pane, bool send_start_byte = true);

}  // namespace kv::core
