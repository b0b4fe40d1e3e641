#include "tools/kvdev/cli_disk.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>

#include "tools/kvdev/commands.h"

namespace kv::dev {
namespace {

Patience patience_of(const Invocation& inv) {
    return {inv.timeout, inv.timeout};
}

// The refusal in words; exit status 1.
int refused(std::ostream& err, const std::string& what, std::uint8_t status,
            const std::string& why) {
    err << "kvdev: " << what << ": " << status_text(status);
    if (status == kRefused && !why.empty()) err << " (" << why << ")";
    err << '\n';
    return 1;
}

// The answer to a command whose only result is its status: the done text or the refusal.
int report(std::uint8_t status, const std::string& what, const std::string& why,
           const std::string& done, std::ostream& out, std::ostream& err) {
    if (status != kOk) return refused(err, what, status, why);
    out << done << '\n';
    return 0;
}

std::optional<std::uint16_t> number(const std::string& text) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

// "--type N --param1 N --param2 N" after the two arguments of save.
bool parse_header(const std::vector<std::string>& args, FileHeader& header, std::ostream& err) {
    for (std::size_t i = 2; i < args.size(); i += 2) {
        auto value = i + 1 < args.size() ? number(args[i + 1]) : std::nullopt;
        if (!value || (args[i] == "--type" && *value > 255)) {
            err << "kvdev: " << args[i] << " takes a number (type 0-255, params 0-65535)\n";
            return false;
        }
        if (args[i] == "--type")
            header.type = static_cast<std::uint8_t>(*value);
        else if (args[i] == "--param1")
            header.param1 = *value;
        else if (args[i] == "--param2")
            header.param2 = *value;
        else {
            err << "kvdev: unknown save option " << args[i] << '\n';
            return false;
        }
    }
    return true;
}

// The file's bytes, or nothing with `why` set.
std::optional<std::string> read_file(const std::string& path, std::string& why) {
    std::ifstream in(path, std::ios::binary);
    const int error = errno;
    if (!in || std::filesystem::is_directory(path)) {
        why = why_not_opened(path, error);
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool write_file(const std::string& path, const std::string& data, std::string& why) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file.write(data.data(), static_cast<std::streamsize>(data.size()));
    if (file.flush()) return true;
    why = why_not_opened(path, errno);
    return false;
}

// A file that begins with the stored-file mark "KVFILE".
bool is_stored_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    char head[6] = {};
    return in && !std::filesystem::is_directory(path) && in.read(head, sizeof head) &&
           std::string(head, sizeof head) == "KVFILE";
}

std::string last_component(const std::string& name) {
    const auto cut = name.find_last_of("/\\");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

}  // namespace

int cli_save(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    FileHeader header;
    if (!parse_header(inv.args, header, err)) return 2;
    std::string why;
    auto data = read_file(inv.args[1], why);
    if (!data) {
        err << "kvdev: cannot read " << inv.args[1] << ": " << why << '\n';
        return 1;
    }
    if (data->size() > 65535) {
        err << "kvdev: " << inv.args[1] << " holds " << data->size()
            << " bytes; a stored file holds at most 65535\n";
        return 1;
    }
    const auto status = save(link, inv.args[0], *data, header, std::nullopt, patience_of(inv));
    if (status != kOk)
        return refused(err, "save " + inv.args[0], status, "empty name or the name exists");
    out << "Saved " << inv.args[0] << " (" << data->size() << " bytes, type " << int(header.type)
        << ", param1 " << header.param1 << ", param2 " << header.param2 << ").\n";
    return 0;
}

int cli_load(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    const bool named = inv.args.size() > 1;
    const std::string target = named ? inv.args[1] : last_component(inv.args[0]);
    // Asked before KV32 is: a file of the same name here may be the stored file itself, when
    // kvdev runs in the served folder. A stored file is never written over, not even when
    // forced: its raw data would destroy it.
    if (is_stored_file(target)) {
        err << "kvdev: " << target
            << " here is a stored file (it begins with KVFILE), which kvdev never writes over, "
               "even with --force; name another output file\n";
        return 1;
    }
    // A file that could not be written is known before KV32 is asked for its data.
    if (const auto folder = std::filesystem::path(target).parent_path();
        !folder.empty() && !std::filesystem::is_directory(folder)) {
        err << "kvdev: cannot write " << target << ": " << why_not_opened(target, ENOENT) << '\n';
        return 1;
    }
    if (!named && !inv.force && std::filesystem::exists(target)) {
        err << "kvdev: " << target
            << " exists here; name an output file, or give --force to replace it\n";
        return 1;
    }
    const auto r = load(link, inv.args[0], patience_of(inv));
    if (r.status != kOk)
        return refused(err, "load " + inv.args[0], r.status, "no such stored file");
    std::string why;
    if (!write_file(target, r.data, why)) {
        err << "kvdev: cannot write " << target << ": " << why << '\n';
        return 1;
    }
    out << "Loaded " << inv.args[0] << " into " << target << " (" << r.data.size() << " of "
        << r.length << " bytes, type " << int(r.type) << ", param1 " << r.param1 << ", param2 "
        << r.param2 << ").\n";
    return r.data.size() == r.length ? 0 : 1;
}

int cli_erase(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    const std::string& name = inv.args[0];
    return report(erase(link, name, patience_of(inv)), "erase " + name, "nothing matches",
                  "Erased the stored files matching " + name + ".", out, err);
}

int cli_cat(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream&) {
    const auto c =
        catalogue(link, inv.args.empty() ? std::string() : inv.args[0], patience_of(inv));
    for (const auto& line : c.lines) out << line << '\n';
    return 0;
}

int cli_mkdir(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    const std::string& name = inv.args[0];
    return report(make_folder(link, name, patience_of(inv)), "mkdir " + name, "the name exists",
                  "Created folder " + name + ".", out, err);
}

int cli_cd(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    const std::string& name = inv.args[0];
    return report(change_folder(link, name, patience_of(inv)), "cd " + name, "no such folder",
                  "Now in " + name + ".", out, err);
}

int cli_rmdir(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    const std::string& name = inv.args[0];
    return report(remove_folder(link, name, patience_of(inv)), "rmdir " + name,
                  "missing or not empty", "Removed folder " + name + ".", out, err);
}

}  // namespace kv::dev
