#pragma once
// The start of main that every program of KV32 shares, so that they all read their command
// lines alike: long options in any position, as "--name value" or "--name=value"; -h or --help
// prints the help on standard output, -V or --version one line "name (KV32) version"; wrong usage
// prints one line that says what is wrong and "Try 'name --help'." on standard error and ends
// with exit status 2. "--" ends the options; a word of one dash is an operand.
#include <functional>
#include <optional>
#include <ostream>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kv::cli {

inline constexpr int kUsageStatus = 2;

// A long option a program knows. value says what its value is ("a folder") for the message when
// it is missing; empty for a switch, which takes none.
struct Option {
    std::string_view name;
    std::string_view value = {};
};

// Wrong usage: the message says in one line what is wrong.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A command line taken apart: the options in the order given (a switch with an empty value) and
// the operands in theirs.
struct CommandLine {
    std::vector<std::pair<std::string, std::string>> options;
    std::vector<std::string> operands;
    bool help = false;
    bool version = false;

    // True when the option was given.
    bool has(std::string_view name) const;
    // The value given last, or nothing when the option was not given.
    std::optional<std::string> value(std::string_view name) const;
    // Every value given, in order.
    std::vector<std::string> all(std::string_view name) const;
};

// Takes the arguments apart; throws UsageError for an unknown option ("unknown option --x"), an
// option without its value ("--port needs a value") or a switch given one.
CommandLine parse(const std::vector<std::string>& arguments, std::span<const Option> options);

// What a program is called and what it says to --help.
struct Program {
    std::string_view name;
    std::string_view help;
    std::span<const Option> options;  // the program's own; -h, -V and their long forms besides
};

// "kvdb (KV32) 1.0.0".
std::string version_line(std::string_view name);
// Says on err what is wrong and how to get help; answers the exit status of wrong usage.
int usage_error(std::string_view name, std::string_view what, std::ostream& err);

// The start of main: answers --help and --version, and wrong usage of the program's options; else
// answers what run answers for the parsed line. A UsageError that run throws is wrong usage too.
int start(const Program& program, const std::vector<std::string>& arguments, std::ostream& out,
          std::ostream& err, const std::function<int(const CommandLine&)>& run);
// The same with main's arguments, standard output and standard error.
int start(const Program& program, int argc, char** argv,
          const std::function<int(const CommandLine&)>& run);

}  // namespace kv::cli
