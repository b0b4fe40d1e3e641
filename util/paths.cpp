#include "util/paths.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

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

std::optional<std::string> FREADLINE(int fd, std::size_t maximum) {
    const off_t start = ::lseek(fd, 0, SEEK_CUR);
    if (start < 0 || maximum == 0) return std::nullopt;
    std::string bytes(maximum, '\0');
    std::size_t got = 0;
    while (got < maximum) {
        const ssize_t n = ::read(fd, bytes.data() + got, maximum - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got == 0) return std::nullopt;
    bytes.resize(got);
    const std::string line = bytes.substr(0, bytes.find('\r'));
    ::lseek(fd, start + static_cast<off_t>(line.size()) + 2, SEEK_SET);
    return line;
}

std::vector<std::string> ADISK(int /*kind*/) {
    // No drive letters on this system: neither diskette drives nor lettered drives exist.
    return {};
}

}  // namespace kv::util
