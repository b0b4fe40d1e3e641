#include "core/desk_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "core/erase_checked.h"
#include "core/protocol.h"
#include "core/served_folder.h"
#include "platform/beneath.h"
#include "platform/files.h"
#include "util/paths.h"

namespace kv::core {
namespace {

// ---- The served tree: the one place where device names become disk paths and where the tree is
// read and written. Every entry is reached beneath the served root's descriptor, as the device's
// own commands reach it (core/served_folder.h), and written, renamed and erased as they do it.

std::string rooted(const std::string& name) {
    if (!name.empty() && (name.front() == '/' || name.front() == '\\')) return name;
    return "/" + name;
}

std::string resolve(const std::string& name) {
    return served_path(rooted(name));
}

DeskResult fault(DeskFault f, std::string detail = {}) {
    return {f, std::move(detail)};
}

DeskResult errno_fault() {
    if (errno == EXDEV)
        return fault(DeskFault::Link, "a link on the way leads outside the served folder");
    return fault(DeskFault::DiskError, platform::file_error_text({0, errno}));
}

DeskResult disk_error() {
    return fault(DeskFault::DiskError, platform::file_error_text(platform::last_file_error()));
}

// A new stored file, written as a Save writes it: a private file renamed into place without
// replacing anything; with `replace`, renamed over the stored file of that name.
DeskResult write_stored_file(const std::string& path, const std::string& bytes, bool replace) {
    const auto entry = served_entry(path);
    if (!entry) return errno_fault();
    const int folder = entry->folder.get();
    if (!replace || ::faccessat(folder, entry->name.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) != 0) {
        const std::string name =
            platform::upper_case_file_names() ? platform::to_upper_name(entry->name) : entry->name;
        return platform::write_new_file(folder, name, bytes) ? DeskResult{} : disk_error();
    }
    const std::string written = platform::private_name(".kv-import-");
    if (!platform::write_new_file(folder, written, bytes)) return disk_error();
    if (::renameat(folder, written.c_str(), folder, entry->name.c_str()) != 0) {
        const DeskResult r = errno_fault();
        ::unlinkat(folder, written.c_str(), 0);
        return r;
    }
    return {};
}

std::optional<std::string> read_served_file(const std::string& path, DeskResult& result) {
    platform::Fd fd = open_served_file(path, O_RDONLY | O_NONBLOCK);
    if (!fd.valid()) {
        result = errno == ENOENT ? fault(DeskFault::NotFound) : errno_fault();
        return std::nullopt;
    }
    platform::File file;
    if (!file.adopt(fd.release(), platform::Access::Read, platform::Share::DenyWrite)) {
        result = disk_error();
        return std::nullopt;
    }
    std::string bytes;
    while (auto piece = file.read(1 << 16)) {
        if (piece->empty()) return bytes;
        bytes += *piece;
    }
    result = disk_error();
    return std::nullopt;
}

DeskResult create_folder(const std::string& path) {
    const auto entry = served_entry(path);
    if (!entry) return errno_fault();
    if (::mkdirat(entry->folder.get(), entry->name.c_str(), 0777) != 0) return errno_fault();
    return {};
}

// Renames an entry within its folder, never replacing anything.
DeskResult move_entry(const std::string& from, const std::string& new_name) {
    const auto entry = served_entry(from);
    if (!entry) return errno_fault();
    struct stat st;
    const bool file =
        ::fstatat(entry->folder.get(), entry->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(st.st_mode);
    const std::string name =
        file && platform::upper_case_file_names() ? platform::to_upper_name(new_name) : new_name;
    if (!platform::rename_no_replace(entry->folder.get(), entry->name, name))
        return errno == EEXIST ? fault(DeskFault::StoredExists) : errno_fault();
    return {};
}

// Erases a stored file only while its name leads to the file checked, as Erase does.
DeskResult delete_stored_file(const std::string& path) {
    const auto entry = served_entry(path);
    if (!entry) return errno_fault();
    std::string why;
    switch (erase_checked(entry->folder.get(), path, entry->name, why)) {
        case Erased::Yes:
            return {};
        case Erased::NotStored:
            return fault(DeskFault::NotStored);
        case Erased::Kept:
            break;
    }
    return fault(DeskFault::DiskError, why);
}

// Removes an empty folder, never what a link leads to.
DeskResult remove_folder(const std::string& path) {
    const auto entry = served_entry(path);
    if (!entry) return errno_fault();
    if (::unlinkat(entry->folder.get(), entry->name.c_str(), AT_REMOVEDIR) == 0) return {};
    return errno == ENOTEMPTY || errno == EEXIST ? fault(DeskFault::NotEmpty) : errno_fault();
}

// ---- The rules.

bool names_a_folder(const std::string& name) {
    return name.empty() || name.back() == '/' || name.back() == '\\';
}

// The device's rules for the name of a new entry at `path` (asked for as `name`).
DeskResult check_name_rules(const std::string& name, const std::string& path) {
    switch (single_name_fault(name)) {
        case NameFault::Wildcard:
            return fault(DeskFault::Wildcard);
        case NameFault::SpacesAndDots:
            return fault(DeskFault::SpacesAndDots);
        case NameFault::LeadingDot:
            return fault(DeskFault::LeadingDot);
        case NameFault::None:
            break;
    }
    if (std::string why = why_not_a_name_on_disk(path); !why.empty())
        return fault(DeskFault::NotOnDisk, why);
    if (is_settings_file(path)) return fault(DeskFault::SettingsFile);
    if (platform::is_link(path)) return fault(DeskFault::Link);
    return {};
}

// Whether the folder of a new entry can take it.
DeskResult check_folder_of(const std::string& path) {
    std::string folder = platform::folder_part(path);
    if (folder.size() > 1) folder.pop_back();
    if (!platform::folder_exists(folder)) return fault(DeskFault::NoFolder);
    if (!platform::folder_takes_new_files(folder))
        return fault(DeskFault::FolderRefuses,
                     platform::file_error_text(platform::last_file_error()));
    return {};
}

// What stands under a path now: nothing, a stored file, another file or a folder.
DeskResult check_free(const std::string& path, bool replace_stored) {
    if (platform::folder_exists(path)) return fault(DeskFault::FolderExists);
    if (!platform::file_exists(path)) return {};
    if (!ISKV(path)) return fault(DeskFault::OtherExists);
    return replace_stored ? DeskResult{} : fault(DeskFault::StoredExists);
}

// Checks in order, stopping at the first fault.
template <typename... Checks>
DeskResult first_fault(Checks... checks) {
    DeskResult result;
    ((result.ok() ? (void)(result = checks()) : (void)0), ...);
    return result;
}

bool is_program_name(const std::string& pc_file) {
    const auto dot = pc_file.find_last_of('.');
    if (dot == std::string::npos) return false;
    return platform::names_equal_ignoring_case(pc_file.substr(dot), ".bas");
}

}  // namespace

std::string desk_fault_text(const DeskResult& r) {
    const std::string detail = r.detail.empty() ? "" : " (" + r.detail + ")";
    switch (r.fault) {
        case DeskFault::None:
            return "";
        case DeskFault::NoName:
            return "a stored file needs a name";
        case DeskFault::Wildcard:
            return "a name cannot hold \"*\" or \"?\": the device could not name it";
        case DeskFault::SpacesAndDots:
            return "a part of the name is nothing but spaces and dots";
        case DeskFault::LeadingDot:
            return "a name part beginning with \".\" is hidden from the device's catalogue";
        case DeskFault::NotOnDisk:
            return r.detail;
        case DeskFault::Separator:
            return "a new name is one name, without \"/\" or \"\\\"";
        case DeskFault::SettingsFile:
            return "that is the settings file's name";
        case DeskFault::Link:
            return "a link of that name exists";
        case DeskFault::NoFolder:
            return "no such folder";
        case DeskFault::FolderRefuses:
            return "the folder cannot take a new file" + detail;
        case DeskFault::StoredExists:
            return "a stored file of that name exists";
        case DeskFault::OtherExists:
            return "a file of that name exists that is not a stored file";
        case DeskFault::FolderExists:
            return "a folder of that name exists";
        case DeskFault::TooLarge:
            return r.detail + " bytes, more than the 65535 a stored file can hold";
        case DeskFault::NotFound:
            return "no such stored file or folder";
        case DeskFault::NotStored:
            return "not a stored file" + detail;
        case DeskFault::HoldsCurrent:
            return "the device's current folder, or a folder that holds it";
        case DeskFault::NotEmpty:
            return "the folder is not empty";
        case DeskFault::DiskError:
            return r.detail;
    }
    return r.detail;
}

std::string desk_path(const std::string& name) {
    return resolve(name);
}

DeskResult check_new_file(const std::string& name, bool replace) {
    if (names_a_folder(name)) return fault(DeskFault::NoName);
    const std::string path = resolve(name);
    return first_fault([&] { return check_name_rules(name, path); },
                       [&] { return check_free(path, replace); },
                       [&] { return check_folder_of(path); });
}

DeskResult import_stored(const std::string& name, const std::string& data, StoredHeader header,
                         bool replace) {
    if (data.size() > kLargestStoredData)
        return fault(DeskFault::TooLarge, std::to_string(data.size()));
    if (DeskResult r = check_new_file(name, replace); !r.ok()) return r;
    header.length = static_cast<std::uint16_t>(data.size());
    return write_stored_file(resolve(name), encode_header(header) + data, replace);
}

DeskResult read_stored(const std::string& name, StoredContent& content) {
    if (names_a_folder(name)) return fault(DeskFault::NoName);
    const std::string path = resolve(name);
    if (platform::folder_exists(path)) return fault(DeskFault::NotStored, "a folder");
    if (!platform::file_exists(path)) return fault(DeskFault::NotFound);
    DeskResult read;
    const auto bytes = read_served_file(path, read);
    if (!bytes) return read;
    if (bytes->compare(0, kStoredFileMagic.size(), kStoredFileMagic) != 0)
        return fault(DeskFault::NotStored, "it does not begin with KVFILE");
    const auto header = decode_header(*bytes);
    if (!header) return fault(DeskFault::NotStored, "shorter than its 13-byte header");
    content.header = *header;
    content.data = bytes->substr(kStoredHeaderSize);
    content.on_disk = path;
    return {};
}

DeskResult check_new_folder(const std::string& name) {
    std::string bare = name;
    while (!bare.empty() && (bare.back() == '/' || bare.back() == '\\')) bare.pop_back();
    if (bare.empty()) return fault(DeskFault::NoName);
    const std::string path = resolve(bare);
    return first_fault(
        [&] { return check_name_rules(bare, path); },
        [&] { return platform::file_exists(path) ? fault(DeskFault::OtherExists) : DeskResult{}; },
        [&] { return util::DIR_(path) ? fault(DeskFault::FolderExists) : DeskResult{}; },
        [&] { return check_folder_of(path); });
}

DeskResult make_folder(const std::string& name) {
    if (DeskResult r = check_new_folder(name); !r.ok()) return r;
    std::string bare = name;
    while (bare.back() == '/' || bare.back() == '\\') bare.pop_back();
    return create_folder(resolve(bare));
}

namespace {

// Whether an entry may be given another name or removed: a stored file or a folder, never a
// link, the settings file or the folder the device is in.
DeskResult check_existing(const std::string& path) {
    if (is_settings_file(path)) return fault(DeskFault::SettingsFile);
    if (platform::is_link(path)) return fault(DeskFault::Link);
    if (platform::folder_exists(path))
        return holds_current_folder(path) ? fault(DeskFault::HoldsCurrent) : DeskResult{};
    if (!platform::file_exists(path)) return fault(DeskFault::NotFound);
    if (!ISKV(path)) return fault(DeskFault::NotStored);
    return {};
}

std::string sibling(const std::string& name, const std::string& new_name) {
    std::string folder = name;
    while (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
    return platform::folder_part(rooted(folder)) + new_name;
}

}  // namespace

DeskResult check_rename(const std::string& name, const std::string& new_name) {
    if (new_name.empty()) return fault(DeskFault::NoName);
    if (new_name.find_first_of("/\\") != std::string::npos) return fault(DeskFault::Separator);
    const std::string from = resolve(name);
    const std::string target = sibling(name, new_name);
    const std::string to = resolve(target);
    return first_fault([&] { return check_existing(from); },
                       [&] { return check_name_rules(new_name, to); },
                       [&] { return check_free(to, false); });
}

DeskResult rename_entry(const std::string& name, const std::string& new_name) {
    if (DeskResult r = check_rename(name, new_name); !r.ok()) return r;
    return move_entry(resolve(name), new_name);
}

DeskResult erase_entry(const std::string& name) {
    const std::string path = resolve(name);
    if (DeskResult r = check_existing(path); !r.ok()) return r;
    return platform::folder_exists(path) ? remove_folder(path) : delete_stored_file(path);
}

DeskResult read_pc_file(const std::string& path, std::string& data) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fault(DeskFault::FolderExists);
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size > kLargestStoredData) return fault(DeskFault::TooLarge, std::to_string(size));
    std::ifstream in(path, std::ios::binary);
    if (!in) return fault(DeskFault::DiskError, std::strerror(errno));
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad()) return fault(DeskFault::DiskError, std::strerror(errno));
    data = bytes.str();
    if (data.size() > kLargestStoredData)
        return fault(DeskFault::TooLarge, std::to_string(data.size()));
    return {};
}

namespace {

bool write_all(int fd, const std::string& data) {
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

DeskResult write_pc_file(const std::string& path, const std::string& data, bool replace) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fault(DeskFault::FolderExists);
    if (!replace && std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return fault(DeskFault::OtherExists);
    const std::filesystem::path target(path);
    std::string temp = target.parent_path() / ("." + target.filename().string() + ".XXXXXX");
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return fault(DeskFault::DiskError, std::strerror(errno));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    bool done = write_all(fd, data) && ::fchmod(fd, 0666 & ~mask) == 0 && ::fsync(fd) == 0;
    std::string reason = done ? "" : std::strerror(errno);
    ::close(fd);
    // Without replacing, the file is linked into place, which fails rather than replace one
    // that came meanwhile.
    if (done) {
        done = replace ? ::rename(temp.c_str(), path.c_str()) == 0
                       : ::link(temp.c_str(), path.c_str()) == 0;
        if (!done && errno == EEXIST) {
            ::unlink(temp.c_str());
            return fault(DeskFault::OtherExists);
        }
        if (!done) reason = std::strerror(errno);
    }
    if (!replace || !done) ::unlink(temp.c_str());
    if (!done) return fault(DeskFault::DiskError, reason);
    return {};
}

std::string propose_stored_name(const std::string& pc_file) {
    std::string name = pc_file.substr(pc_file.find_last_of("/\\") + 1);
    if (const auto dot = name.find_last_of('.'); dot != std::string::npos && dot > 0)
        name.erase(dot);
    std::string kept;
    for (char c : platform::to_upper_name(name)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '*' || c == '?') continue;
        if (kept.empty() && (c == '.' || c == ' ')) continue;
        kept += c;
    }
    if (kept.size() > 10) kept.resize(10);
    while (!kept.empty() && (kept.back() == '.' || kept.back() == ' ')) kept.pop_back();
    return kept.empty() ? "FILE" : kept;
}

StoredHeader proposed_header(const std::string& pc_file) {
    StoredHeader header;
    if (is_program_name(pc_file)) return header;  // a program, listed from line 0
    header.type = 3;
    header.param1 = 32768;
    return header;
}

}  // namespace kv::core
