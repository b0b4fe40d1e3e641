// kvdev: the device's side of the KV32 serial protocol, from the command line.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "kvdev_help.h"
#include "tools/kvdev/cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const kv::cli::Program program{"kvdev", kv::help::kvdev, kv::dev::options()};
    return kv::cli::start(
        program, arguments, std::cout, std::cerr, [&](const kv::cli::CommandLine&) {
            std::string error;
            const char* env_port = std::getenv("KVDEV_PORT");
            const auto invocation =
                kv::dev::parse_arguments(arguments, error, env_port ? env_port : "");
            if (!invocation) throw kv::cli::UsageError(error);
            return kv::dev::run_invocation(*invocation, std::cout, std::cerr);
        });
}
