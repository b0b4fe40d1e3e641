#pragma once
// Why a serial port cannot be opened, and what to do about it, in plain words; and the serial
// devices of the machine with what each of them is.
#include <string>
#include <vector>

namespace kv::platform {

// One line for a port that open_serial_device() (or the pseudo-terminal's creation) refused with
// `error`: which device the name means, the cause and the remedy. For instance
// "COM3 is /dev/ttyS2: there is no such device. Serial devices here: /dev/ttyUSB0."
std::string open_failure_details(const std::string& port_name, int error);

// The cause alone, for a device path: "there is no such device", "permission denied: ...", ...
std::string open_failure_cause(const std::string& path, int error);

// Opens the device as the program would and closes it again: 0 when it can be opened now, else
// the error. (Like any program that opens a serial port, this raises DTR for a moment.)
int probe_serial_device(const std::string& path);

// The processes other than this one that hold the file open, as "process 123 (name)". Other
// users' processes are visible only to the superuser.
std::vector<std::string> processes_holding(const std::string& path);

struct SerialDeviceInfo {
    std::string path;                  // /dev/ttyUSB0
    std::string description;           // "USB serial adapter: FTDI FT232R USB UART", ...
    std::vector<std::string> aliases;  // /dev/serial/by-id names that lead to it
};

// Every serial device of the machine (/dev/ttyS*, ttyUSB*, ttyACM*), in name order, with what
// sysfs tells of it; the folders are parameters for tests.
std::vector<SerialDeviceInfo> list_serial_devices(const std::string& dev = "/dev",
                                                  const std::string& sys = "/sys/class/tty");

// What sysfs tells of one device: "/dev/pts/3" and other terminals it has no more on are a
// "terminal device", other character devices a "character device"; a file that is no character
// device is said to be none ("a plain file, not a device").
std::string describe_serial_device(const std::string& path,
                                   const std::string& sys = "/sys/class/tty");

// What a path is when it is not a character device ("no such file", "a plain file, not a
// device", ...); empty for a character device.
std::string non_device_kind(const std::string& path);

}  // namespace kv::platform
