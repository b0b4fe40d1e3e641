#include "core/catalogue_listing.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "core/catalogue_lines.h"
#include "core/served_folder.h"
#include "fs/directory.h"
#include "platform/files.h"
#include "util/paths.h"

namespace kv::core {
namespace {

// The folder whose path heads the listing: the pattern's folder when it names one, else the
// current folder.
std::string listed_folder(const std::string& pattern) {
    if (pattern.find_first_of("/\\") != std::string::npos)
        return util::FULLPATH(served_path(pattern));
    return served_current_folder();
}

// The served root is the root of the device's drive: it has no "." and "..".
bool is_dot_entry(const std::string& name) {
    return name == "." || name == "..";
}

// True when an entry of the listed folder may be shown: not a link, or a link that may be
// followed (one that leads outside only by the rule of the served folder).
bool may_be_shown(int folder_fd, const std::string& folder, const std::string& name) {
    struct stat st;
    if (::fstatat(folder_fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return !S_ISLNK(st.st_mode) || open_served(folder + "/" + name).valid();
}

}  // namespace

std::string catalogue_search_pattern(std::string pattern) {
    if (pattern.empty()) return pattern;
    if (pattern.back() == '/' || pattern.back() == '\\') return pattern + '*';
    // The folder those dots name, never an entry for the folder itself, whose real name the
    // device has no business seeing.
    const std::string last = platform::file_part(pattern);
    if (last == "." || last == "..") return pattern + "/*";
    return pattern;
}

Listing list_catalogue(const std::string& received) {
    const std::string pattern = catalogue_search_pattern(received);
    Listing listing;
    listing.folder = listed_folder(pattern);
    if (holds_nul(pattern)) return listing;  // no name on disk holds one
    platform::FindOptions options;
    options.folders = true;
    const bool at_root = listing.folder == served_root();
    const std::string wanted = served_path(pattern.empty() ? "*" : pattern);
    const auto folder = served_entry(wanted);
    if (!folder) return listing;
    // The folder is listed through its descriptor, reached beneath the served root.
    const std::string listed =
        platform::descriptor_path(folder->folder.get()) + "/" + platform::file_part(wanted);
    for (const auto& entry : platform::find_entries(listed, options)) {
        if (at_root && is_dot_entry(entry.name)) continue;
        if (!is_dot_entry(entry.name) &&
            !may_be_shown(folder->folder.get(), listing.folder, entry.name))
            continue;
        if (entry.is_folder()) {
            listing.entries.push_back({entry.name, true, {}, 0});
        } else if (auto header = read_stored_header(listing.folder + "/" + entry.name)) {
            listing.entries.push_back({entry.name, false, *header, entry.size});
            ++listing.stored;
        }
    }
    return listing;
}

std::string entry_line(const ListedEntry& entry) {
    return entry.folder ? folder_line(entry.name) : stored_file_line(entry.name, entry.header);
}

std::vector<std::string> catalogue_lines(const Listing& listing, std::uint64_t free_bytes) {
    std::vector<std::string> lines = {blank_line(), title_line(), blank_line(),
                                      folder_path_line(device_path(listing.folder)), blank_line()};
    for (const auto& entry : listing.entries) lines.push_back(entry_line(entry));
    lines.push_back(blank_line());
    lines.push_back(free_space_line(free_bytes));
    lines.push_back(count_line(listing.stored));
    return lines;
}

std::uint64_t catalogue_free_bytes() {
    const std::int64_t free_bytes = fs::DISKFREESPACE();
    return free_bytes > 0 ? static_cast<std::uint64_t>(free_bytes) : 0;
}

}  // namespace kv::core
