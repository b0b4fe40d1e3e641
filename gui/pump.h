#pragma once
// The message pump of the window's thread: the one place through which every layer lets the
// window's events run (the command loop's waits, message boxes, pop-ups). It is injectable: tests
// install a pump driven by a manual clock, so that waits of seconds cost nothing.
#include <optional>

#include "platform/clock.h"

namespace kv::gui {

// The pump of the window's thread (see the top of this file).
class Pump {
  public:
    virtual ~Pump() = default;
    // Handles every pending event without waiting; false only when the application is shutting
    // down.
    virtual bool refresh() = 0;
    // Blocks until at least one event has been handled or the time has passed (none: until an
    // event comes).
    virtual void wait(std::optional<platform::Duration> at_most) = 0;
};

// The pump in use: Qt's event loop unless another was installed.
Pump& pump();
// Installs a pump (nullptr goes back to Qt's) and returns the one it replaces.
Pump* set_pump(Pump* pump);

// Installs a pump for the length of a scope and puts the one before it back.
class ScopedPump {
  public:
    // Installs a pump for the guard's lifetime.
    explicit ScopedPump(Pump* pump) : previous_(set_pump(pump)) {}
    ~ScopedPump() { set_pump(previous_); }
    ScopedPump(const ScopedPump&) = delete;
    ScopedPump& operator=(const ScopedPump&) = delete;

  private:
    Pump* previous_;
};

// Handles every pending event without waiting for new ones, through the pump. False only when
// the application is shutting down.
bool SYSREFRESH();

// Blocks, through the pump, until at least one event has been handled or the time-out has passed
// (no time-out: until an event comes). Waiting loops call it when nothing is due, so an idle
// program uses no processor.
void wait_for_events(std::optional<platform::Duration> timeout);

}  // namespace kv::gui
