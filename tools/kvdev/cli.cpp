#include "tools/kvdev/cli.h"

#include "cli/command_line.h"

#include "tools/kvdev/cli_disk.h"
#include "tools/kvdev/commands.h"
#include "tools/kvdev/print.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <ostream>

namespace kv::dev {

namespace {

// How long the line must stay silent before a command of the protocol is sent.
constexpr Timeout kQuietLine{250};

std::optional<std::size_t> parse_count(const std::string& s) {
    std::size_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc{} || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return value;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

int wait_start(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    if (link.read_start_byte(inv.timeout)) {
        out << "start\n";
        return 0;
    }
    err << "kvdev: no start byte within " << inv.timeout.count() << " ms\n";
    return 1;
}

int send_raw(DeviceLink& link, const Invocation& inv, std::ostream&, std::ostream& err) {
    auto bytes = parse_hex_bytes(inv.args);
    if (!bytes) {
        err << "kvdev: send-raw takes hexadecimal bytes, such as 53 0d or 0x530d\n";
        return 2;
    }
    link.send_raw(*bytes);
    return 0;
}

int read_n(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    auto count = parse_count(inv.args[0]);
    if (!count) {
        err << "kvdev: read takes a byte count\n";
        return 2;
    }
    std::string bytes = link.read_bytes(*count, inv.timeout);
    out << to_hex(bytes) << '\n';
    if (bytes.size() == *count) return 0;
    err << "kvdev: " << bytes.size() << " of " << *count << " bytes before the line fell silent\n";
    return 1;
}

const Command* find_command(const std::string& name) {
    for (const auto& c : commands())
        if (c.name == name) return &c;
    return nullptr;
}

}  // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> table{
        {"wait-start", "wait-start",
         "wait for the start byte 0x00 that KV32 sends when it begins serving", 0, 0, wait_start,
         false},
        {"send-raw", "send-raw HEX...", "send bytes given in hexadecimal", 1, SIZE_MAX, send_raw,
         false},
        {"read", "read N", "read N bytes and print them in hexadecimal", 1, 1, read_n, false},
        {"save", "save NAME FILE [--type N] [--param1 N] [--param2 N]",
         "store FILE on the PC as NAME (type 0 is a program)", 2, 8, cli_save},
        {"load", "load NAME [FILE]", "fetch the stored file NAME into FILE", 1, 2, cli_load},
        {"erase", "erase PATTERN", "delete the stored files matching PATTERN", 1, 1, cli_erase},
        {"cat", "cat [PATTERN]", "list folders and stored files", 0, 1, cli_cat},
        {"mkdir", "mkdir NAME", "create a folder", 1, 1, cli_mkdir},
        {"cd", "cd NAME", "enter a folder (.. goes up)", 1, 1, cli_cd},
        {"rmdir", "rmdir NAME", "remove an empty folder", 1, 1, cli_rmdir},
        {"print", "print FILE [--raw]",
         "print the lines of a text file (a form-feed character starts a new page)", 1, 1,
         cli_print},
    };
    return table;
}

std::optional<std::string> parse_hex_bytes(const std::vector<std::string>& words) {
    std::string bytes;
    for (std::string_view word : words) {
        if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X'))
            word.remove_prefix(2);
        if (word.empty() || word.size() % 2 != 0) return std::nullopt;
        for (std::size_t i = 0; i < word.size(); i += 2) {
            int high = hex_digit(word[i]), low = hex_digit(word[i + 1]);
            if (high < 0 || low < 0) return std::nullopt;
            bytes.push_back(static_cast<char>(high * 16 + low));
        }
    }
    return bytes;
}

std::string to_hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char b : bytes) {
        if (!text.empty()) text.push_back(' ');
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 15]);
    }
    return text;
}

std::span<const cli::Option> options() {
    static constexpr cli::Option kOptions[] = {
        {"--port", "a value"},
        {"--timeout", "a value"},
        {"--force"},
        {"--raw"},
        {"--type", "a number"},
        {"--param1", "a number"},
        {"--param2", "a number"},
    };
    return kOptions;
}

std::optional<Invocation> parse_arguments(const std::vector<std::string>& arguments,
                                          std::string& error, const std::string& env_port) {
    Invocation inv;
    cli::CommandLine line;
    try {
        line = cli::parse(arguments, options());
    } catch (const cli::UsageError& usage) {
        error = usage.what();
        return std::nullopt;
    }
    inv.help = line.help;
    inv.version = line.version;
    if (inv.help || inv.version) return inv;
    inv.force = line.has("--force");  // also after the command: kvdev load NAME --force
    inv.raw = line.has("--raw");      // print sends the file's bytes as they are
    if (const auto port = line.value("--port")) inv.port = *port;
    if (const auto timeout = line.value("--timeout")) {
        auto ms = parse_count(*timeout);
        if (!ms) {
            error = "--timeout takes milliseconds";
            return std::nullopt;
        }
        inv.timeout = Timeout(static_cast<Timeout::rep>(*ms));
    }
    if (line.operands.empty()) {
        error = "no command given";
        return std::nullopt;
    }
    inv.command = line.operands.front();
    inv.args.assign(line.operands.begin() + 1, line.operands.end());
    // The header options of save follow its two arguments, as save reads them.
    for (const auto& [name, value] : line.options) {
        if (name == "--type" || name == "--param1" || name == "--param2") {
            inv.args.push_back(name);
            inv.args.push_back(value);
        }
    }
    const Command* command = find_command(inv.command);
    if (!command) {
        error = "unknown command " + inv.command;
        return std::nullopt;
    }
    if (inv.args.size() < command->min_args || inv.args.size() > command->max_args) {
        error = "usage: kvdev --port PATH " + command->usage;
        return std::nullopt;
    }
    if (inv.port.empty()) inv.port = env_port;
    if (inv.port.empty()) {
        error = "--port PATH (or KVDEV_PORT) is required";
        return std::nullopt;
    }
    return inv;
}

int run_invocation(const Invocation& inv, std::ostream& out, std::ostream& err) {
    const Command* command = find_command(inv.command);
    if (!command) {
        err << "kvdev: unknown command " << inv.command << '\n';
        return 2;
    }
    try {
        DeviceLink link = DeviceLink::open(inv.port);
        // Each run is a new connection, which KV32 begins with the start byte.
        if (command->fresh_line && link.is_connection() && !link.read_start_byte(inv.timeout)) {
            err << "kvdev: "
                << (link.hung_up()
                        ? "KV32 closed the connection (it serves one at a time)"
                        : "no start byte within " + std::to_string(inv.timeout.count()) + " ms")
                << '\n';
            return 1;
        }
        if (command->fresh_line) {
            // Not only what is there now: KV32 sends its start byte a moment after a device
            // first opens its pseudo-terminal, and a command sent before it would be out of step.
            const auto settled = link.wait_for_quiet_line(kQuietLine, inv.timeout + kQuietLine);
            if (settled.dropped > 0 && !settled.start_byte)
                err << "kvdev: dropped " << settled.dropped << " stale byte"
                    << (settled.dropped == 1 ? "" : "s") << " from an earlier exchange\n";
        }
        return command->run(link, inv, out, err);
    } catch (const LinkError& e) {
        err << "kvdev: " << e.what() << '\n';
        return 1;
    } catch (const ProtocolError& e) {
        err << "kvdev: " << e.what() << '\n'
            << "kvdev: the line may be out of step with KV32 (just started, or an exchange cut "
               "short): run kvdev wait-start, then the command again\n";
        return 1;
    }
}

std::string why_not_opened(const std::string& path, int error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(path, ec)) return "it is a folder";
    if (error == ENOENT || error == ENOTDIR) {
        // The first folder on the way that is missing or is not a folder.
        fs::path folder;
        for (const auto& part : fs::path(path).parent_path()) {
            folder /= part;
            if (fs::is_directory(folder, ec)) continue;
            return fs::exists(folder, ec) ? folder.string() + " is not a folder"
                                          : "the folder " + folder.string() + " does not exist";
        }
    }
    return std::strerror(error);
}

}  // namespace kv::dev
