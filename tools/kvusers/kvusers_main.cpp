// kvusers: the user table of the library's login, from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "kvusers_help.h"
#include "tools/kvusers/users_cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::cout << kv::help::kvusers;
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == "--version") {
        std::cout << "kvusers (KV32) " << KV32_VERSION << '\n';
        return 0;
    }
    return kv::users::run_kvusers(arguments, std::cout, std::cerr);
}
