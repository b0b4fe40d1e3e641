#include "core/receive.h"

#include "core/protocol.h"
#include "core/receive_buffer.h"
#include "core/serial.h"
#include "gui/pump.h"
#include "platform/clock.h"
#include "platform/keystate.h"
#include "util/msgbox.h"

namespace kv::core {
namespace {

platform::TimePoint last_refresh{};
bool abandoning = false;
bool esc_ended_wait = false;                    // since the command letter
std::uint64_t departures_at_command_start = 0;  // counted at once
std::uint64_t arrivals_at_command_start = 0;
int command_port = -1;
std::uint64_t settled_departures_at_command = 0;  // counted once the last bytes are in
bool in_command = false;

// A device that went away during the command owes bytes it will never send: once everything
// it did send has been taken, the command is given up instead of waiting for each byte.
bool departed_and_drained() {
    if (!receive_buffer().empty() || bytes_on_the_way()) return false;
    // A connection that closed before the command's last bytes were taken (the command letter,
    // say) has no device behind it any more either.
    return device_departures(true) > settled_departures_at_command ||
           (in_command && connection_departed(command_port));
}
bool command_wait_interrupted = false;

// Handles the window's pending events, noting when.
void refresh() {
    last_refresh = platform::clock().now();
    gui::SYSREFRESH();
}

// Longest time the window goes without its events while bytes are being taken from a full
// buffer. Pumping after every byte of a burst would cost more than the byte itself.
constexpr auto kRefreshInterval = std::chrono::milliseconds(5);

// Nothing to do until an event comes: no byte waiting, Esc not held, and nothing that the events
// just handled asked for (an end, or the command given up) left to act on.
bool idle(bool command_wait) {
    return receive_buffer().empty() && !esc_held() && !platform::termination_requested() &&
           !(command_wait ? command_wait_interrupted : abandoning);
}

// One wait for a byte: Esc is tested before the buffer, and a byte already waiting is taken even
// when the time is up. Without a deadline it waits until a byte comes or Esc is held.
std::string wait_byte(std::optional<platform::TimePoint> deadline) {
    const auto& clock = platform::clock();
    std::string c;
    for (;;) {
        if (platform::termination_requested()) throw Terminated{};
        if (deadline && abandoning) {
            abandoning = false;
            throw DeviceGone{};
        }
        if (deadline && departed_and_drained()) throw DeviceGone{};
        if (esc_held()) {
            if (deadline) esc_ended_wait = true;
            break;
        }
        if (!deadline && command_wait_interrupted) break;
        c = GETCHAR();
        if (!c.empty()) break;
        if (deadline && clock.now() >= *deadline) break;
        refresh();
        if (idle(!deadline)) {
            // About to wait for a command with nothing left of what departed devices sent: the
            // next device may come in. Checked last, after the events: a departure from now on
            // posts an event of its own, which ends the wait.
            if (!deadline && !in_command && !bytes_on_the_way()) close_departures();
            std::optional<platform::Duration> left;
            if (deadline) left = *deadline - clock.now();
            if (!left || left->count() > 0) {
                note_device_wait(true);
                gui::wait_for_events(left);
                note_device_wait(false);
            }
        }
    }
    // The window's events are handled after each wait; while a burst is being taken from the
    // buffer, once the buffer is drained or every few milliseconds.
    if (c.empty() || receive_buffer().empty() ||
        platform::clock().now() - last_refresh >= kRefreshInterval)
        refresh();
    return c;
}

}  // namespace

bool esc_held() {
    return util::GETASYNCKEYSTATE(platform::VK_ESCAPE);
}

bool command_in_progress() {
    return in_command;
}

bool device_gone_during_command() {
    return in_command && port_departures(command_port, false) != departures_at_command_start;
}

std::optional<std::uint64_t> departures_at_command(int port) {
    if (!in_command || port != command_port) return std::nullopt;
    return departures_at_command_start;
}

std::optional<std::uint64_t> arrivals_at_command(int port) {
    if (!in_command || port != command_port) return std::nullopt;
    return arrivals_at_command_start;
}

CommandInProgress::CommandInProgress(int port) {
    in_command = true;
    command_port = port;
    departures_at_command_start = port_departures(port, false);
    arrivals_at_command_start = port_arrivals(port);
    // A command begun once a new device had opened the line is that device's (as its answer is):
    // the departures before it, settled or not yet, did not happen during it (the settled count
    // may stay below them for a moment yet).
    if (arrivals_at_command_start > 0 && !device_departed(port)) {
        const std::uint64_t settled = port_departures(port, true);
        if (departures_at_command_start > settled)
            settled_departures_at_command += departures_at_command_start - settled;
    }
}

CommandInProgress::~CommandInProgress() {
    in_command = false;
}

bool esc_interrupted() {
    return esc_ended_wait;
}

void begin_command() {
    abandoning = false;
    esc_ended_wait = false;
    settled_departures_at_command = device_departures(true);
}

void abandon_if_esc(const std::string& what) {
    if (esc_ended_wait || esc_held()) throw Abandoned{what + " was abandoned: Esc was pressed."};
}

void abandon_command() {
    receive_buffer().clear();
    drop_held_back_bytes();
    abandoning = true;
}

void interrupt_command_wait(bool on) {
    command_wait_interrupted = on;
}

bool command_wait_interrupt_pending() {
    return command_wait_interrupted;
}

std::size_t drop_until_quiet() {
    const auto& clock = platform::clock();
    std::size_t dropped = 0;
    auto quiet_until = clock.now() + kQuietAfterAbandon;
    for (;;) {
        if (platform::termination_requested()) throw Terminated{};
        bool took = false;
        while (!GETCHAR().empty()) {
            ++dropped;
            took = true;
        }
        if (took) quiet_until = clock.now() + kQuietAfterAbandon;
        if (clock.now() >= quiet_until) return dropped;
        refresh();
        if (receive_buffer().empty() && !platform::termination_requested())
            gui::wait_for_events(quiet_until - clock.now());
    }
}

std::string WAITCOMMAND() {
    note_device_wait(false, true);  // the device's silence is counted from here
    std::string c = wait_byte(std::nullopt);
    begin_command();  // the device's next command: nothing left to abandon
    note_device_wait(false, true);
    return c;
}

std::string WAITCHAR() {
    return wait_byte(platform::clock().now() + kByteTimeout);
}

unsigned WAITUINT() {
    auto code = [](const std::string& c) {
        return c.empty() ? 0u : static_cast<unsigned char>(c[0]);
    };
    unsigned low = code(WAITCHAR());
    unsigned high = code(WAITCHAR());
    return low + 256 * high;
}

std::string WAITNEXT() {
    return WAITCHAR();
}

std::string WAITSTRING(std::size_t kept) {
    std::string s;
    for (;;) {
        std::string c = WAITCHAR();
        if (c.size() == 1 && c[0] == kCarriageReturn) break;
        // Esc ends the string too: while it is held no byte is taken, so a wait for the CR would
        // never end. The command reading the string abandons it (esc_interrupted()).
        if (c.empty() && esc_ended_wait) break;
        if (s.size() < kept) s += c;
        // As for every byte taken: the window's events once the buffer is drained or every few
        // milliseconds, not after each byte of a line that has already arrived whole.
        if (receive_buffer().empty() || platform::clock().now() - last_refresh >= kRefreshInterval)
            refresh();
    }
    return s;
}

void SENDERR(int port, int code) {
    SENDSTR(port, std::string(1, static_cast<char>(code)));
}

}  // namespace kv::core
