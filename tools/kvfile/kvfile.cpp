#include "tools/kvfile/kvfile.h"

#include <charconv>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <optional>
#include <stdexcept>

#include "cli/command_line.h"
#include "core/catalogue_lines.h"
#include "core/catalogue_listing.h"
#include "core/desk_files.h"
#include "core/served_folder.h"
#include "kvfile_help.h"
#include "platform/files.h"

namespace kv::kvfile {
namespace {

constexpr cli::Option kOptions[] = {
    {"--root", "a folder"},
    {"--type", "a number"},
    {"--param1", "a number"},
    {"--param2", "a number"},
    {"--force"},
};

// A failure of the command: the message says why; exit status 1.
class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

std::optional<unsigned> number_option(const cli::CommandLine& line, std::string_view name,
                                      unsigned largest) {
    const auto text = line.value("--" + std::string(name));
    if (!text) return std::nullopt;
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (text->empty() || ec != std::errc{} || end != text->data() + text->size() || value > largest)
        throw cli::UsageError("--" + std::string(name) + " takes a number from 0 to " +
                              std::to_string(largest) + ", not \"" + *text + "\"");
    return value;
}

void expect_operands(const cli::CommandLine& line, std::size_t least, std::size_t most) {
    const std::size_t given = line.operands.size() - 1;
    if (given < least) throw cli::UsageError(line.operands[0] + " needs more arguments");
    if (given > most)
        throw cli::UsageError("too many arguments for " + line.operands[0] + ": \"" +
                              line.operands[1 + most] + "\"");
}

void only_options(const cli::CommandLine& line, std::initializer_list<std::string_view> allowed) {
    for (const auto& [name, value] : line.options) {
        if (name == "--root") continue;
        bool known = false;
        for (auto a : allowed) known = known || name == "--" + std::string(a);
        if (!known) throw cli::UsageError(name + " does not go with " + line.operands[0]);
    }
}

// A PC file's bytes ("-": standard input).
std::string read_pc_file(const std::string& path) {
    std::string data;
    if (path == "-") {
        data.assign(std::istreambuf_iterator<char>(std::cin), {});
        return data;
    }
    const core::DeskResult r = core::read_pc_file(path, data);
    if (r.fault == core::DeskFault::TooLarge)
        throw Failure(path + ": " + r.detail +
                      " bytes, more than the 65535 a stored file can hold");
    if (r.fault == core::DeskFault::FolderExists) throw Failure(path + ": a folder");
    if (!r.ok()) throw Failure(path + ": " + r.detail);
    return data;
}

// A PC file written whole ("-": standard output).
void write_pc_file(const std::string& path, const std::string& data, bool replace) {
    if (path == "-") {
        std::cout.write(data.data(), static_cast<std::streamsize>(data.size()));
        std::cout.flush();
        return;
    }
    const core::DeskResult r = core::write_pc_file(path, data, replace);
    if (r.fault == core::DeskFault::OtherExists)
        throw Failure(path + ": the file exists (--force replaces it)");
    if (r.fault == core::DeskFault::FolderExists) throw Failure(path + ": a folder");
    if (!r.ok()) throw Failure(path + ": " + r.detail);
}

void fail_on(const core::DeskResult& result, const std::string& name, const char* hint = "") {
    if (!result.ok()) throw Failure(name + ": " + core::desk_fault_text(result) + hint);
}

int import_file(const cli::CommandLine& line, const std::string& pc_file, std::ostream& out) {
    only_options(line, {"type", "param1", "param2", "force"});
    const std::string& name = line.operands[1];
    core::StoredHeader header = core::proposed_header(pc_file);
    if (auto type = number_option(line, "type", 255)) {
        header.type = static_cast<std::uint8_t>(*type);
        header.param1 = header.type == 0 ? 0 : 32768;
    }
    if (auto p = number_option(line, "param1", 65535))
        header.param1 = static_cast<std::uint16_t>(*p);
    if (auto p = number_option(line, "param2", 65535))
        header.param2 = static_cast<std::uint16_t>(*p);
    const bool force = line.has("--force");
    // Refused names are refused before the PC file is read.
    fail_on(core::check_new_file(name, force), name,
            core::check_new_file(name, true).ok() ? " (--force replaces it)" : "");
    const std::string data = read_pc_file(pc_file);
    fail_on(core::import_stored(name, data, header, force), name);
    header.length = static_cast<std::uint16_t>(data.size());
    out << core::device_path(platform::resolve_path(core::desk_path(name))) << ": "
        << core::stored_file_words(header) << ", " << data.size() << " bytes\n";
    return 0;
}

int export_file(const cli::CommandLine& line, const std::string& pc_file) {
    only_options(line, {"force"});
    const std::string& name = line.operands[1];
    core::StoredContent content;
    fail_on(core::read_stored(name, content), name);
    write_pc_file(pc_file, content.data, line.has("--force"));
    return 0;
}

int list_folder(const cli::CommandLine& line, std::ostream& out) {
    only_options(line, {});
    std::string pattern = line.operands.size() > 1 ? line.operands[1] : "";
    if (!pattern.empty() && !platform::has_wildcards(platform::file_part(pattern))) {
        if (!platform::folder_exists(core::desk_path(pattern)))
            throw Failure(pattern + ": no such folder");
        if (!platform::ends_with_separator(pattern)) pattern += '/';
    }
    if (!pattern.empty() && pattern.front() != '/' && pattern.front() != '\\')
        pattern = "/" + pattern;
    const auto listing = core::list_catalogue(pattern);
    for (const auto& text : core::catalogue_lines(listing, core::catalogue_free_bytes()))
        out << text << '\n';
    return 0;
}

int show_info(const cli::CommandLine& line, std::ostream& out) {
    only_options(line, {});
    const std::string& name = line.operands[1];
    core::StoredContent content;
    fail_on(core::read_stored(name, content), name);
    const core::StoredHeader& h = content.header;
    out << "name:      " << core::device_path(content.on_disk) << '\n'
        << "type:      " << static_cast<unsigned>(h.type) << (h.type == 0 ? " (BAS)" : " (CDE)")
        << '\n'
        << "param1:    " << h.param1 << '\n'
        << "length:    " << h.length << '\n'
        << "param2:    " << h.param2 << '\n'
        << "data:      " << content.data.size() << " bytes\n"
        << "header:    ";
    if (content.data.size() == h.length)
        out << "agrees with the file's size\n";
    else
        out << "announces " << h.length << " bytes, the file holds " << content.data.size()
            << (content.data.size() < h.length ? " (the device stopped sending)\n" : "\n");
    std::string listed = core::stored_file_line(platform::file_part(content.on_disk), h);
    listed.erase(listed.find_last_not_of(' ') + 1);
    out << "catalogue: " << listed << '\n';
    return 0;
}

// The served root, and operands that name PC files made absolute first: serving a folder makes
// it the current folder.
int run_command(const cli::CommandLine& line, std::ostream& out) {
    if (line.operands.empty()) throw cli::UsageError("no command given");
    const std::string& command = line.operands[0];
    std::string pc_file;
    if (command == "import" || command == "export") {
        expect_operands(line, 2, 2);
        pc_file = line.operands[2] == "-"
                      ? "-"
                      : std::filesystem::absolute(line.operands[2]).lexically_normal().string();
    } else if (command == "list") {
        expect_operands(line, 0, 1);
    } else if (command == "info") {
        expect_operands(line, 1, 1);
    } else {
        throw cli::UsageError("unknown command \"" + command + "\"");
    }
    const std::string root = line.value("--root").value_or(".");
    if (!core::set_served_root(root)) throw Failure(root + ": not a folder that can be served");
    // The settings file of a KV32 started in the served folder is never the device's.
    core::protect_settings_file(core::served_root() + "/KV32.INI");
    platform::ScopedUpperCaseFileNames upper(true);
    if (command == "import") return import_file(line, pc_file, out);
    if (command == "export") return export_file(line, pc_file);
    if (command == "list") return list_folder(line, out);
    return show_info(line, out);
}

}  // namespace

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    const cli::Program program{"kvfile", help::kvfile, kOptions};
    return cli::start(program, arguments, out, err, [&](const cli::CommandLine& line) {
        try {
            return run_command(line, out);
        } catch (const Failure& failure) {
            err << "kvfile: " << failure.what() << '\n';
            return 1;
        }
    });
}

}  // namespace kv::kvfile
