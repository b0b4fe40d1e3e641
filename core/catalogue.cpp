// "C": the PC lists folders and stored files in 32-character lines, each acknowledged by the
// device, then the free space and the number of stored files listed.
#include <vector>

#include "core/catalogue_lines.h"
#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/progress.h"
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

// A pattern that names a folder lists the folder's entries: one that ends in a separator (an
// asterisk is added), or whose last part is "." or ".." (the folder those dots name, never an
// entry for the folder itself, whose real name the device has no business seeing).
std::string search_pattern(std::string pattern) {
    if (pattern.empty()) return pattern;
    if (pattern.back() == '/' || pattern.back() == '\\') return pattern + '*';
    const std::string last = platform::file_part(pattern);
    if (last == "." || last == "..") return pattern + "/*";
    return pattern;
}

class Listing {
  public:
    explicit Listing(int port) : port_(port) {}
    // Sends one line and waits (at most 2 seconds) for the device's acknowledgement.
    void send(const std::string& line) {
        abandon_if_esc("The catalogue");
        send_unless_esc(port_, line, "The catalogue");
        WAITNEXT();
    }

  private:
    int port_;
};

// The served root is the root of the device's drive: it has no "." and "..".
bool is_dot_entry(const std::string& name) {
    return name == "." || name == "..";
}

struct Listed {
    std::vector<std::string> lines;  // one for each folder and stored file
    unsigned stored = 0;
};

Listed list_entries(const std::string& pattern, const std::string& folder) {
    Listed count;
    if (holds_nul(pattern)) return count;  // no name on disk holds one
    platform::FindOptions options;
    options.folders = true;
    const bool at_root = folder == served_root();
    for (const auto& entry :
         platform::find_entries(served_path(pattern.empty() ? "*" : pattern), options)) {
        if (at_root && is_dot_entry(entry.name)) continue;
        if (entry.is_folder()) {
            count.lines.push_back(folder_line(entry.name));
        } else if (auto header = read_stored_header(folder + "/" + entry.name)) {
            count.lines.push_back(stored_file_line(entry.name, *header));
            ++count.stored;
        }
    }
    return count;
}

}  // namespace

void CAT(int port) {
    const std::string received = wait_name();
    abandon_if_esc_interrupted(port, "The catalogue");
    if (longer_than_a_path(received)) return refuse(port, received, "longer than a path can be");
    const std::string pattern = search_pattern(received);
    send_ok(port);
    const std::string folder = listed_folder(pattern);

    const Listed count = list_entries(pattern, folder);
    std::vector<std::string> lines = {blank_line(), title_line(), blank_line(),
                                      folder_path_line(device_path(folder)), blank_line()};
    lines.insert(lines.end(), count.lines.begin(), count.lines.end());
    lines.push_back(blank_line());
    const std::int64_t free_bytes = fs::DISKFREESPACE();
    lines.push_back(free_space_line(free_bytes > 0 ? static_cast<std::uint64_t>(free_bytes) : 0));
    lines.push_back(count_line(count.stored));

    // Each line is acknowledged by the device (at most 2 seconds' wait) before the next.
    Progress progress("Listing " + (pattern.empty() ? std::string("*") : pattern), lines.size(),
                      "lines");
    Listing listing(port);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        listing.send(lines[i]);
        progress.advance(i + 1);
    }
    SENDSTR(port, std::string(1, '\0'));
    log_outcome(counted(count.lines.size(), "entry", "entries") + " listed");
}

}  // namespace kv::core
