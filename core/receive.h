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

// Thrown by every primitive once the program has been asked to end: the command in progress is
// abandoned, and the command loop returns.
struct Terminated {};

// Thrown by the waits of a command in progress once its device has gone away: the command is
// abandoned, and the command loop waits for the next one.
struct DeviceGone {};

// The device has gone away: bytes received from it so far are dropped, and the command in
// progress, if any, is abandoned at its next wait. A wait for a command letter is not affected.
void abandon_command();

// Every wait below throws Terminated once termination has been requested.

// The next received byte; the empty string when Esc ended the wait. No time-out.
std::string WAITCOMMAND();
// The next received byte; the empty string after 2 seconds without one or while Esc is held.
std::string WAITCHAR();
// Two bytes, low first, as 0..65535; a byte that does not come counts as 0.
unsigned WAITUINT();
// An acknowledgement byte, as WAITCHAR.
std::string WAITNEXT();
// The bytes up to the next CR, without it. No overall time limit.
std::string WAITSTRING();
// Sends one status byte.
void SENDERR(int port, int code);

}  // namespace kv::core
