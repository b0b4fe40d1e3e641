#pragma once
// The two ways out of the handler that tests replace: the desktop's opening of an address and the
// end of the program.
#include <string>

namespace kv::errors {

// Opens the address with the installed opener (the desktop's default handler); failures are not
// reported.
void open_url(const std::string& address);

// Runs the library's shut-down and ends the process with the exit status (through the installed
// end, which tests replace). Never returns.
[[noreturn]] void end_program(int exit_status);

}  // namespace kv::errors
