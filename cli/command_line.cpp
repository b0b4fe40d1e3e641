#include "cli/command_line.h"

#include <algorithm>
#include <iostream>

namespace kv::cli {
namespace {

const Option* find_option(std::span<const Option> options, std::string_view name) {
    const auto it = std::find_if(options.begin(), options.end(),
                                 [&](const Option& option) { return option.name == name; });
    return it == options.end() ? nullptr : &*it;
}

}  // namespace

bool CommandLine::has(std::string_view name) const {
    return std::any_of(options.begin(), options.end(),
                       [&](const auto& option) { return option.first == name; });
}

std::optional<std::string> CommandLine::value(std::string_view name) const {
    std::optional<std::string> found;
    for (const auto& [option, value] : options) {
        if (option == name) found = value;
    }
    return found;
}

std::vector<std::string> CommandLine::all(std::string_view name) const {
    std::vector<std::string> found;
    for (const auto& [option, value] : options) {
        if (option == name) found.push_back(value);
    }
    return found;
}

CommandLine parse(const std::vector<std::string>& arguments, std::span<const Option> options) {
    CommandLine line;
    bool operands_only = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (operands_only || argument.size() < 2 || argument[0] != '-') {
            line.operands.push_back(argument);
        } else if (argument == "--") {
            operands_only = true;
        } else if (argument == "-h" || argument == "--help") {
            line.help = true;
        } else if (argument == "-V" || argument == "--version") {
            line.version = true;
        } else if (argument[1] != '-') {
            line.operands.push_back(argument);  // -5, a word of one dash: not an option here
        } else {
            const std::size_t equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            const Option* option = find_option(options, name);
            if (!option) throw UsageError("unknown option " + name);
            if (option->value.empty()) {
                if (equals != std::string::npos) throw UsageError(name + " takes no value");
                line.options.emplace_back(name, std::string());
            } else if (equals != std::string::npos) {
                line.options.emplace_back(name, argument.substr(equals + 1));
            } else if (i + 1 < arguments.size()) {
                line.options.emplace_back(name, arguments[++i]);
            } else {
                throw UsageError(name + " needs " + std::string(option->value));
            }
        }
    }
    return line;
}

std::string version_line(std::string_view name) {
    return std::string(name) + " (KV32) " + KV32_VERSION;
}

int usage_error(std::string_view name, std::string_view what, std::ostream& err) {
    err << name << ": " << what << "\nTry '" << name << " --help'.\n";
    return kUsageStatus;
}

int start(const Program& program, const std::vector<std::string>& arguments, std::ostream& out,
          std::ostream& err, const std::function<int(const CommandLine&)>& run) {
    try {
        const CommandLine line = parse(arguments, program.options);
        if (line.help) {
            out << program.help;
            return 0;
        }
        if (line.version) {
            out << version_line(program.name) << '\n';
            return 0;
        }
        return run(line);
    } catch (const UsageError& usage) {
        return usage_error(program.name, usage.what(), err);
    }
}

int start(const Program& program, int argc, char** argv,
          const std::function<int(const CommandLine&)>& run) {
    return start(program, std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                 run);
}

}  // namespace kv::cli
