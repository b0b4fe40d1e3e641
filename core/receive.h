#pragma once
// The receive primitives with which the command loop and the handlers read from the device, on
// the window's thread. Each waits while pumping the window's events; when nothing is due it
// blocks in the event loop until an event comes or its time is up, so waiting costs no processor.
#include <optional>
#include <string>

#include "platform/clock.h"

namespace kv::core {

// How the primitives let time pass: pump pending events, and block until an event or a deadline.
// The program uses the window layer's pump; tests install one driven by a manual clock.
class Pump {
  public:
    virtual ~Pump() = default;
    virtual bool refresh() = 0;
    virtual void wait(std::optional<platform::Duration> at_most) = 0;
};

// The pump in use: the window layer's unless a test installed another (nullptr goes back).
Pump& pump();
void set_pump(Pump* pump);

// True while the user holds Esc down, which ends the command loop and every byte wait.
bool esc_held();

// Thrown by every primitive once the program has been asked to end: the command in progress is
// abandoned, and the command loop returns.
struct Terminated {};

// Handles every pending event without waiting.
bool SYSREFRESH();

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
