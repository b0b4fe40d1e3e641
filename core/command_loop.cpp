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

void serve(int port, gui::LogPane& pane) {
    try {
        SENDSTR(port, std::string(1, '\0'));
    } catch (const DeviceGone&) {
    } catch (const Abandoned&) {
        MESSAGE(pane, "The device took no start byte.");
    }
    for (;;) {
        if (esc_held()) return;
        MESSAGE(pane, "Waiting command (ESC to exit)...");
        const Command* command = nullptr;
        while (!command) {
            std::string c = WAITCOMMAND();
            if (esc_held()) break;
            if (!c.empty()) command = find_command(c[0]);
        }
        if (!command) continue;  // Esc: back to the test at the top
        MESSAGE(pane, command->log_line);
        try {
            CommandInProgress in_progress(port);
            command->handler(port);
        } catch (const DeviceGone&) {
            MESSAGE(pane, "The command was abandoned: the device went away.");
        } catch (const Abandoned& a) {
            MESSAGE(pane, a.why);
        }
    }
}

}  // namespace

void KV(int port, gui::LogPane& pane) {
    try {
        serve(port, pane);
    } catch (const Terminated&) {
        // The program is ending: the command in progress is abandoned.
    }
    begin_command();  // nothing of the last command's interruptions outlives the loop
}

}  // namespace kv::core
