#include "core/port_report.h"

#include "platform/serial_device.h"
#include "platform/serial_diagnosis.h"

namespace kv::core {
namespace {

std::string open_verdict(const std::string& path) {
    const int error = platform::probe_serial_device(path);
    if (error == 0) return "KV32 can open it now.";
    return "KV32 cannot open it now: " + platform::open_failure_cause(path, error) + ".";
}

std::string entry(const std::string& heading, const std::string& path,
                  const std::string& description, const std::vector<std::string>& aliases) {
    std::string text = heading + "\n    " + description + "\n";
    for (const auto& alias : aliases) text += "    also " + alias + "\n";
    return text + "    " + open_verdict(path) + "\n";
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

std::string list_ports_report(const std::vector<std::string>& names) {
    std::string text;
    if (!names.empty()) {
        for (const auto& name : names) {
            const std::string path = platform::serial_device_path(name);
            text += entry(name == path ? path : name + " is " + path, path,
                          platform::describe_serial_device(path), {});
        }
        return text;
    }
    std::vector<std::string> without_hardware;
    for (const auto& device : platform::list_serial_devices()) {
        if (device.description.find("no UART") != std::string::npos) {
            without_hardware.push_back(device.path);
            continue;
        }
        text += entry(device.path + " (Porta=" + port_name_for(device.path) + ")", device.path,
                      device.description, device.aliases);
    }
    if (!without_hardware.empty())
        text += without_hardware.front() +
                (without_hardware.size() > 1 ? " to " + without_hardware.back() : "") +
                ": serial ports without hardware behind them.\n";
    if (text.empty()) text = "No serial device is connected to this machine.\n";
    return text;
}

}  // namespace kv::core
