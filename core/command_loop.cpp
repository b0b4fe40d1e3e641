#include "core/command_loop.h"

#include <array>

#include "core/handlers.h"
#include "core/log.h"
#include "core/receive.h"
#include "core/serial.h"
#include "gui/main_window.h"
#include "util/text.h"

namespace kv::core {
namespace {

constexpr std::array<Command, 5> kCommands = {{
    {'S', "Saving...", SAVE},
    {'L', "Loading...", LOAD},
    {'E', "Erasing...", ERASE_},
    {'C', "Listing...", CAT},
    {'P', "Printing...", PRINT_},
}};

}  // namespace

const Command* find_command(char letter) {
    for (const auto& c : kCommands)
        if (c.letter == letter) return &c;
    return nullptr;
}

void MESSAGE(gui::LogPane& pane, const std::string& text) {
    pane.append_line(util::escape_log_text(text));
}

namespace {

// True when it returned for a change of settings.
bool serve(int port, gui::LogPane& pane, bool send_start_byte) {
    try {
        if (send_start_byte) SENDSTR(port, std::string(1, '\0'));
    } catch (const DeviceGone&) {
    } catch (const Abandoned&) {
        MESSAGE(pane, "The device took no start byte.");
    }
    bool waiting_logged = false;
    for (;;) {
        if (esc_held()) return false;
        if (command_wait_interrupt_pending()) {
            interrupt_command_wait(false);
            return true;
        }
        // A return from a wait that took no command (an interruption that came to nothing)
        // does not repeat the line.
        if (!waiting_logged) MESSAGE(pane, "Waiting command (ESC to exit)...");
        waiting_logged = true;
        const Command* command = nullptr;
        while (!command) {
            std::string c = WAITCOMMAND();
            if (esc_held() || command_wait_interrupt_pending()) break;
            if (!c.empty()) command = find_command(c[0]);
        }
        if (!command) continue;  // Esc or a change of settings: back to the tests at the top
        waiting_logged = false;
        MESSAGE(pane, command->log_line);
        try {
            CommandInProgress in_progress(port);
            command->handler(port);
        } catch (const DeviceGone&) {
            MESSAGE(pane, "The command was abandoned: the device went away.");
        } catch (const Abandoned& a) {
            MESSAGE(pane, a.why);
            // The rest of what the device sends for the command is not a command. Esc still
            // held ends the loop at once.
            if (!esc_held())
                if (const std::size_t n = drop_until_quiet(); n > 0)
                    MESSAGE(pane, counted(n, "byte", "bytes") +
                                      " that the device sent for it were dropped.");
        }
    }
}

}  // namespace

bool KV(int port, gui::LogPane& pane, bool send_start_byte) {
    bool settings_changed = false;
    try {
        settings_changed = serve(port, pane, send_start_byte);
    } catch (const Terminated&) {
        // The program is ending: the command in progress is abandoned.
    }
    begin_command();  // nothing of the last command's interruptions outlives the loop
    return settings_changed;
}

}  // namespace kv::core
