#include "printing/page_files.h"

#include <signal.h>
#include <unistd.h>
#include <cerrno>
#include <charconv>
#include <filesystem>

#include "util/file_names.h"

namespace kv::printing {
namespace {

constexpr std::string_view kExtension = ".WMF";

// Reads a decimal number that ends at `end`; advances past `end`.
bool read_number(std::string_view& text, char end, long& out) {
    const auto at = text.find(end);
    if (at == std::string_view::npos || at == 0) return false;
    const auto digits = text.substr(0, at);
    const auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    if (ec != std::errc() || p != digits.data() + digits.size() || out < 0) return false;
    text.remove_prefix(at + 1);
    return true;
}

bool ends_with_ignoring_case(std::string_view text, std::string_view end) {
    if (text.size() < end.size()) return false;
    for (std::size_t i = 0; i < end.size(); ++i) {
        const char a = text[text.size() - end.size() + i];
        const char b = end[i];
        if (std::tolower(static_cast<unsigned char>(a)) !=
            std::tolower(static_cast<unsigned char>(b)))
            return false;
    }
    return true;
}

}  // namespace

std::string page_file_name(long pid, long job, long page) {
    return util::TEMPORARY_MARK + std::to_string(pid) + "-" + std::to_string(job) + "-" +
           std::to_string(page) + std::string(kExtension);
}

std::optional<PageFileOwner> page_file_owner(std::string_view name) {
    if (name.empty() || name.front() != util::TEMPORARY_MARK) return std::nullopt;
    if (!ends_with_ignoring_case(name, kExtension)) return std::nullopt;
    name.remove_prefix(1);
    name.remove_suffix(kExtension.size());
    std::string rest(name);
    rest += '.';
    std::string_view text = rest;
    PageFileOwner owner;
    if (!read_number(text, '-', owner.pid) || !read_number(text, '-', owner.job) ||
        !read_number(text, '.', owner.page) || !text.empty() || owner.pid == 0)
        return std::nullopt;
    return owner;
}

bool process_runs(long pid) {
    if (pid <= 0) return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int remove_stale_page_files(const std::string& root) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    const long self = ::getpid();
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        const auto owner = page_file_owner(it->path().filename().string());
        if (!owner || (owner->pid != self && process_runs(owner->pid))) continue;
        std::error_code gone;
        if (fs::remove(it->path(), gone)) ++removed;
    }
    return removed;
}

}  // namespace kv::printing
