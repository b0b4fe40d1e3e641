#pragma once
// Passwords for kvusers that do not appear on the command line (where every user of the machine
// can read them in the process list): typed on the terminal without echo, or read from standard
// input.
#include <istream>
#include <optional>
#include <ostream>
#include <string>

namespace kv::users {

// The first line of `in` without its line end (LF or CR LF); nothing when `in` holds no line.
std::optional<std::string> read_password_line(std::istream& in);

// Asks for a password on the terminal `terminal` with its echo off, then for the same again;
// the prompts go to `prompts`. The terminal's settings are put back afterwards, also when a
// signal ends the program meanwhile. Nothing when the input ends or the two differ (`why` says
// which).
std::optional<std::string> ask_password(int terminal, std::ostream& prompts, std::string& why);

}  // namespace kv::users
