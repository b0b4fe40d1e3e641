// kvdev: the device's side of the KV32 serial protocol, from the command line.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "kvdev_help.h"
#include "tools/kvdev/cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    std::string error;
    const char* env_port = std::getenv("KVDEV_PORT");
    auto invocation = kv::dev::parse_arguments(arguments, error, env_port ? env_port : "");
    if (!invocation) {
        std::cerr << "kvdev: " << error << "\nTry kvdev --help.\n";
        return 2;
    }
    if (invocation->help) {
        std::cout << kv::help::kvdev;
        return 0;
    }
    if (invocation->version) {
        std::cout << "kvdev (KV32) " << KV32_VERSION << '\n';
        return 0;
    }
    return kv::dev::run_invocation(*invocation, std::cout, std::cerr);
}
