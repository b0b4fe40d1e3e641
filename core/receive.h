#pragma once
// The receive primitives with which the command loop and the handlers read from the device, on
// the window's thread. Each waits while pumping the window's events (gui/pump.h); when nothing is
// due it blocks in the event loop until an event comes or its time is up, so waiting costs no
// processor.
#include <optional>
#include <string>

namespace kv::core {

// True while the user holds Esc down, which ends the command loop and every byte wait.
bool esc_held();
// True while a handler runs (CommandInProgress).
bool command_in_progress();

// Thrown by every primitive once the program has been asked to end: the command in progress is
// abandoned, and the command loop returns.
struct Terminated {};

// Thrown by the waits of a command in progress once its device has gone away: the command is
// abandoned, and the command loop waits for the next one.
struct DeviceGone {};

// Thrown by a handler whose transfer was interrupted (Esc pressed): nothing of it is kept, and
// the command loop logs `why`, which names the command.
struct Abandoned {
    std::string why;
};

// True once Esc has ended a byte wait of the command in progress (a byte then counts as missing).
bool esc_interrupted();
// A command begins: what happened during the one before (Esc, a device that went away) is
// forgotten. The wait for a command letter does this.
void begin_command();
// Throws Abandoned ("The Save of NAME was abandoned: Esc was pressed.") once Esc has ended a wait
// of the command in progress, or is held now.
void abandon_if_esc(const std::string& what);

// The device has gone away: bytes received from it so far are dropped, and the command in
// progress, if any, is abandoned at its next wait. A wait for a command letter is not affected.
void abandon_command();

// True when the device of a pseudo-terminal of the program's own has gone since the command in
// progress began (KV32 keeps its own end open, so the line itself never hangs up); false
// outside a command.
bool device_gone_during_command();

// The departures of the port's device counted when the command in progress began; nothing
// outside a command or for another port.
std::optional<std::uint64_t> departures_at_command(int port);
// Likewise the devices that had opened the port's line after one had gone (port_arrivals).
std::optional<std::uint64_t> arrivals_at_command(int port);

// Marks the command in progress for its length (the command loop runs each handler in one).
class CommandInProgress {
  public:
    explicit CommandInProgress(int port);
    ~CommandInProgress();
    CommandInProgress(const CommandInProgress&) = delete;
    CommandInProgress& operator=(const CommandInProgress&) = delete;
};

// While on, a wait for a command letter returns at once with the empty string, without taking a
// byte (the settings are to change between commands); the waits of a command in progress are not
// affected. The command loop turns it off once it has acted on it.
void interrupt_command_wait(bool on = true);
bool command_wait_interrupt_pending();

// After an abandoned command: reads and drops what the device still sends for it until the line
// has been quiet for kQuietAfterAbandon, so that none of it is taken for a command. The count
// dropped. Esc does not end it; termination does (Terminated).
std::size_t drop_until_quiet();

// Every wait below throws Terminated once termination has been requested.

// The next received byte; the empty string when Esc or an interruption ended the wait. No
// time-out.
std::string WAITCOMMAND();
// The next received byte; the empty string after 2 seconds without one or while Esc is held.
std::string WAITCHAR();
// Two bytes, low first, as 0..65535; a byte that does not come counts as 0.
unsigned WAITUINT();
// An acknowledgement byte, as WAITCHAR.
std::string WAITNEXT();
// The bytes up to the next CR, without it; those before it when Esc ended the wait (then
// esc_interrupted() is true). No overall time limit. At most `kept` bytes are kept:
// the rest, up to the CR, are read and dropped, so that a device that never sends its CR cannot
// make the program hold more than that.
std::string WAITSTRING(std::size_t kept = std::string::npos);
// Sends one status byte.
void SENDERR(int port, int code);

}  // namespace kv::core
