#pragma once
// kvusers: keeps the user table USERS.DBF (and its index USERS.NTX) of the folder it runs in.
#include <unistd.h>

#include <iostream>
#include <ostream>
#include <string>
#include <vector>

namespace kv::users {

// Where a password that is not on the command line comes from: `in` with --password-stdin,
// else the terminal `terminal` (when it is one), asked without echo.
struct PasswordInput {
    std::istream* in = &std::cin;
    int terminal = STDIN_FILENO;
};

// Runs one command line (without the program name; --help and --version are the program's own);
// 0 done, 1 refused or failed, 2 wrong usage. Files it creates are readable by their owner and
// group only. Prompts for a password go to `err`.
int run_kvusers(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                const PasswordInput& input = {});

}  // namespace kv::users
