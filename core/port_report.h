#pragma once
// kv32 --list-ports: the serial devices of the machine, what each one is, the name to give KV32
// for it, and whether KV32 can open it now (and if not, why).
#include <string>
#include <vector>

namespace kv::core {

// The report on the named ports (port names as --port takes them: devices, PTY and TCP
// addresses), or on every serial device of the machine when no name is given. `all_can_open`,
// when given, is told whether KV32 can open every named port now.
std::string list_ports_report(const std::vector<std::string>& names = {},
                              bool* all_can_open = nullptr);

// What --list-ports tells of one serial device, for the settings dialog.
struct PortFacts {
    std::string name;  // for the Porta key
    std::string path;
    std::string description;
    std::vector<std::string> aliases;
    bool in_use_here = false;  // the port this program serves now (not probed)
    bool can_open = false;
    std::string cause;  // why it cannot be opened
};

// The machine's serial devices that have hardware behind them, each probed (opened for a moment)
// except the one at `in_use_path`.
std::vector<PortFacts> serial_port_facts(const std::string& in_use_path = {});

// The name for the Porta key that means this device: COMn for /dev/ttyS(n-1), NAME for /dev/NAME,
// else the path.
std::string port_name_for(const std::string& path);

}  // namespace kv::core
