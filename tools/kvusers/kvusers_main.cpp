// kvusers: the user table of the library's login, from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "tools/kvusers/users_cli.h"

int main(int argc, char** argv) {
    return kv::users::run_kvusers(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                  std::cerr);
}
