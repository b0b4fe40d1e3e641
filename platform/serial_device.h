#pragma once
// Serial devices: which device a port name stands for, opening it for the program's sole use,
// and new pseudo-terminals that a device emulator can open instead of a real port.
#include <optional>
#include <string>

namespace kv::platform {

// True for the port name "PTY" (any case): serve on a new pseudo-terminal.
bool is_pseudo_terminal_name(const std::string& port_name);

// The device a port name stands for: a name that begins with "/" as it stands; COMn (any case)
// is /dev/ttyS(n-1); any other name is /dev/ + name (ttyUSB0, ttyACM0).
std::string serial_device_path(const std::string& port_name);

// Opens a terminal device for reading and writing, blocking, not as the controlling terminal,
// for this program alone (TIOCEXCL and a lock that other instances honour); raises DTR, turns
// HUPCL off so that closing changes no line signal, and asks for low-latency mode where the
// driver offers it. Returns the descriptor, or -1 (errno set) when it cannot be opened, is
// not a terminal or is in use.
int open_serial_device(const std::string& path);

// Gives up the program's sole use of the device (which otherwise lasts while anyone else still
// holds it open) and closes it.
void close_serial_device(int fd);

// A new pseudo-terminal: the master side that the program serves on, and the slave side that
// the device (or its emulator) opens by path. The slave descriptor is kept open so that the
// master does not see a hang-up while no device is connected. Both sides start in raw mode.
struct PseudoTerminal {
    int master = -1;
    int slave = -1;
    std::string slave_path;
};
std::optional<PseudoTerminal> open_pseudo_terminal();

// Raises DTR on a serial line; false where the device has no modem lines (a pseudo-terminal).
bool raise_dtr(int fd);

}  // namespace kv::platform
