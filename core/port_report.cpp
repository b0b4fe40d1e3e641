#include "core/port_report.h"

#include <unistd.h>

#include <cerrno>

#include "platform/serial_device.h"
#include "platform/serial_diagnosis.h"
#include "platform/tcp_line.h"
#include "platform/texts.h"

namespace kv::core {
namespace {

std::string open_verdict(const std::string& path, bool& can_open) {
    const int error = platform::probe_serial_device(path);
    can_open = error == 0;
    if (error == 0) return "KV32 can open it now.";
    return "KV32 cannot open it now: " + platform::open_failure_cause(path, error) + ".";
}

std::string entry(const std::string& heading, const std::string& path,
                  const std::string& description, const std::vector<std::string>& aliases,
                  bool& can_open) {
    std::string text = heading + "\n    " + description + "\n";
    for (const auto& alias : aliases) text += "    also " + alias + "\n";
    return text + "    " + open_verdict(path, can_open) + "\n";
}

// A TCP address is tried by listening on it for a moment.
std::string tcp_entry(const std::string& name, bool& can_open) {
    std::string text = platform::tcp_port_heading(name) +
                       "\n    a TCP address on which KV32 waits for a device emulator's "
                       "connection, serving one at a time\n";
    const int listener = platform::listen_tcp(name);
    can_open = listener >= 0;
    if (can_open) {
        ::close(listener);
        return text + "    KV32 can listen on it now.\n";
    }
    return text + "    KV32 cannot listen on it now: " + platform::tcp_failure_cause(name, errno) +
           ".\n";
}

std::string named_entry(const std::string& name, bool& can_open) {
    if (platform::is_tcp_port_name(name)) return tcp_entry(name, can_open);
    if (platform::is_pseudo_terminal_name(name)) {
        can_open = true;
        return name +
               "\n    a new pseudo-terminal that KV32 makes when it starts; it logs the path that "
               "the device or its emulator opens\n";
    }
    const std::string path = platform::serial_device_path(name);
    std::string description = platform::non_device_kind(path);
    if (description.empty()) description = platform::describe_serial_device(path);
    return entry(name == path ? path : name + " is " + path, path, description, {}, can_open);
}

}  // namespace

std::string port_name_for(const std::string& path) {
    const std::string dev = "/dev/";
    if (path.compare(0, dev.size(), dev) != 0 || path.find('/', dev.size()) != std::string::npos)
        return path;
    const std::string name = path.substr(dev.size());
    if (name.size() > 4 && name.compare(0, 4, "ttyS") == 0 &&
        name.find_first_not_of("0123456789", 4) == std::string::npos)
        return "COM" + std::to_string(std::stoul(name.substr(4)) + 1);
    return name;
}

std::vector<PortFacts> serial_port_facts(const std::string& in_use_path) {
    std::vector<PortFacts> facts;
    for (const auto& device : platform::list_serial_devices()) {
        if (device.description ==
            platform::translated("Ports", "serial port, no UART detected").str())
            continue;
        PortFacts f;
        f.name = port_name_for(device.path);
        f.path = device.path;
        f.description = device.description;
        f.aliases = device.aliases;
        if (device.path == in_use_path) {
            f.in_use_here = true;
        } else {
            const int error = platform::probe_serial_device(device.path);
            f.can_open = error == 0;
            if (error != 0) f.cause = platform::open_failure_cause(device.path, error);
        }
        facts.push_back(std::move(f));
    }
    return facts;
}

std::string list_ports_report(const std::vector<std::string>& names, bool* all_can_open) {
    std::string text;
    bool all = true;
    if (all_can_open) *all_can_open = true;
    if (!names.empty()) {
        for (const auto& name : names) {
            bool can_open = false;
            text += named_entry(name, can_open);
            all = all && can_open;
        }
        if (all_can_open) *all_can_open = all;
        return text;
    }
    std::vector<std::string> without_hardware;
    for (const auto& device : platform::list_serial_devices()) {
        if (device.description.find("no UART") != std::string::npos) {
            without_hardware.push_back(device.path);
            continue;
        }
        bool can_open = false;
        text += entry(device.path + " (Porta=" + port_name_for(device.path) + ")", device.path,
                      device.description, device.aliases, can_open);
    }
    if (!without_hardware.empty())
        text += without_hardware.front() +
                (without_hardware.size() > 1 ? " to " + without_hardware.back() : "") +
                ": serial ports without hardware behind them.\n";
    if (text.empty()) text = "No serial device is connected to this machine.\n";
    return text;
}

}  // namespace kv::core
