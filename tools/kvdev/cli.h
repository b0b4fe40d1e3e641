#pragma once
// The kvdev command line: `kvdev [--port PATH] [--timeout MS] [--force] COMMAND ARGS...`; the port
// comes from KVDEV_PORT when --port is not given.
#include <functional>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "tools/kvdev/link.h"

namespace kv::dev {

struct Invocation {
    std::string port;
    Timeout timeout{2000};
    std::string command;
    std::vector<std::string> args;
    bool force = false;  // load may replace an existing file (never a stored file)
    bool raw = false;    // print sends the file's bytes as they are, without conversion
    bool help = false;
    bool version = false;
};

// The invocation, or nothing with `error` set when the arguments do not make one. `env_port` is
// the value of KVDEV_PORT (empty when unset).
// The options of the command line, for the start of main (cli::start).
std::span<const cli::Option> options();
std::optional<Invocation> parse_arguments(const std::vector<std::string>& arguments,
                                          std::string& error, const std::string& env_port = {});

// Bytes written in hexadecimal: words of two-digit pairs ("41", "4142", "0x0d"); nothing when a
// word is not hexadecimal or has an odd number of digits.
std::optional<std::string> parse_hex_bytes(const std::vector<std::string>& words);
// Bytes as two-digit upper-case hexadecimal pairs separated by blanks.
std::string to_hex(std::string_view bytes);

// Why a file of the user's could not be opened, from the errno of the failed open: a folder on
// its way that does not exist, or is no folder, is named as such.
std::string why_not_opened(const std::string& path, int error);

// What one command does with the open link; returns the exit status.
struct Command {
    std::string name;
    std::string usage;
    std::string summary;
    std::size_t min_args;
    std::size_t max_args;
    std::function<int(DeviceLink&, const Invocation&, std::ostream& out, std::ostream& err)> run;
    // A command of the protocol starts on a quiet line: bytes left from earlier exchanges are
    // dropped first. The raw commands read what is there.
    bool fresh_line = true;
};
const std::vector<Command>& commands();

// Runs the invocation: 0 done, 1 the device side failed (time-out, link error), 2 usage.
int run_invocation(const Invocation& invocation, std::ostream& out, std::ostream& err);

}  // namespace kv::dev
