#include "util/paths.h"

#include <algorithm>

#include "platform/files.h"
#include "util/text.h"

namespace kv::util {
namespace {

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

bool begins_with_drive(const std::string& path) {
    return path.size() >= 2 && path[1] == ':';
}

// The separator the path is written with: its first one, "\" when it has none.
char separator_of(const std::string& path) {
    const auto at = path.find_first_of("/\\");
    return at == std::string::npos ? '\\' : path[at];
}

}  // namespace

std::string join_path(const std::string& folder, const std::string& name) {
    if (folder.empty() || platform::ends_with_separator(folder)) return folder + name;
    return folder + "/" + name;
}

bool DIR_(const std::string& name) {
    if (name.empty()) return false;
    const std::string saved = platform::current_folder();
    if (!platform::set_current_folder(name)) return false;
    platform::set_current_folder(saved);
    return true;
}

std::string FULLPATH(const std::string& name) {
    const auto full = platform::full_path_name(name);
    if (!full) return platform::current_folder();  // no name: the current folder
    const auto last = full->find_last_of('/');
    if (last == std::string::npos) return *full;
    return last == 0 ? "/" : full->substr(0, last);
}

std::string CURPATH(const std::string& /*drive*/) {
    const std::string current = platform::current_folder();
    return current.empty() || current == "/" ? "/" : current + "/";
}

std::string SHORTPATH(const std::string& path, int width) {
    const std::string trimmed = trim_trailing_blanks(path);
    const std::size_t full_width = width > 0 ? static_cast<std::size_t>(width) : 0;
    if (trimmed.size() <= full_width) return pad_right(trimmed, full_width);
    // A drive stays in front; a path that is not absolute has none on this system.
    const std::string prefix = begins_with_drive(trimmed) ? trimmed.substr(0, 2) : "";
    const int kept_width = width - static_cast<int>(prefix.size()) - 4;
    std::string kept;
    if (kept_width > 0) {
        kept = trimmed.substr(trimmed.size() - static_cast<std::size_t>(kept_width));
        const auto first_separator = std::find_if(kept.begin(), kept.end(), is_separator);
        if (first_separator != kept.end()) kept.erase(kept.begin(), first_separator);
    }
    return pad_right(prefix + separator_of(trimmed) + "..." + kept, full_width);
}

std::optional<std::string> FREADLINE(platform::File& file, std::size_t maximum) {
    // Read in pieces up to the first CR, so that a large maximum costs nothing it does not use.
    constexpr std::size_t kPiece = 4096;
    const std::int64_t start = file.seek(0, 1);
    if (start < 0 || maximum == 0) return std::nullopt;
    std::string line;
    bool ended = false;  // a CR came
    while (!ended && line.size() < maximum) {
        const auto piece = file.read(std::min(kPiece, maximum - line.size()));
        if (!piece || piece->empty()) break;
        const auto cr = piece->find('\r');
        ended = cr != std::string::npos;
        line.append(*piece, 0, ended ? cr : piece->size());
    }
    if (line.empty() && !ended) return std::nullopt;
    file.seek(start + static_cast<std::int64_t>(line.size()) + 2, 0);
    return line;
}

void DELDIR(const std::string& folder) {
    platform::FindOptions files_and_hidden;
    files_and_hidden.hidden = true;
    for (const auto& entry : platform::find_entries(join_path(folder, "*"), files_and_hidden)) {
        if (!platform::delete_file(join_path(folder, entry.name), platform::NameCase::AsGiven)) {
            return;
        }
    }
}

std::vector<std::string> WILDEXP(const std::vector<std::string>& patterns) {
    platform::FindOptions files_and_hidden;
    files_and_hidden.hidden = true;
    std::vector<std::string> names;
    for (const auto& pattern : patterns) {
        for (const auto& entry : platform::find_entries(pattern, files_and_hidden)) {
            names.push_back(entry.name);
        }
    }
    return names;
}

std::vector<std::string> ADISK(int /*kind*/) {
    // No drive letters on this system: neither diskette drives nor lettered drives exist.
    return {};
}

}  // namespace kv::util
