#include "util/file_names.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <thread>

#include <signal.h>
#include <unistd.h>

#include "platform/files.h"

#include "util/text.h"

namespace kv::util {
namespace {

constexpr std::array<std::string_view, 11> kReservedNames = {
    "NUL", "CON", "PRN", "AUX", "LPT1", "LPT2", "LPT3", "COM1", "COM2", "COM3", "COM4"};

constexpr std::string_view kShortNameForbidden = " \"*+,./:<>?\\|";
constexpr std::string_view kLongNameForbidden = "\"*/:<>?\\|";

bool holds_any_of(const std::string& name, std::string_view forbidden) {
    return name.find_first_of(forbidden) != std::string::npos;
}

bool is_reserved(const std::string& name) {
    return std::find(kReservedNames.begin(), kReservedNames.end(), name) != kReservedNames.end();
}

bool holds_byte_above_tilde(const std::string& name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) > '~'; });
}

}  // namespace

bool FNAME(const std::string& name) {
    const std::string n = ascii_upper(trim_blanks(name));
    return !n.empty() && n.size() <= 8 && !holds_byte_above_tilde(n) &&
           !holds_any_of(n, kShortNameForbidden) && !is_reserved(n);
}

bool LFNFNAME(const std::string& name) {
    const std::string n = ascii_upper(trim_blanks(name));
    return !n.empty() && !holds_any_of(n, kLongNameForbidden) && !is_reserved(n);
}

std::string temporary_name(const LocalDateTime& moment) {
    const long long hundredths = (moment.since_midnight.count() + 5000) / 10000;
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02u%02u", moment.year, moment.month, moment.day);
    return std::string(1, TEMPORARY_MARK) + date + std::to_string(hundredths);
}

std::string GETNEWFNAME() {
    const std::string first = temporary_name(local_now());
    while (temporary_name(local_now()) == first) std::this_thread::yield();
    return first;
}

namespace {

bool all_digits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

// Reads a decimal number that ends at `end`; advances past `end`.
bool read_number(std::string_view& text, char end, long& out) {
    const auto at = text.find(end);
    if (at == std::string_view::npos || !all_digits(text.substr(0, at)) || at > 9) return false;
    out = std::stol(std::string(text.substr(0, at)));
    text.remove_prefix(at + 1);
    return true;
}

constexpr std::string_view kPageExtension = ".WMF";

// The process id in "\x7fKV<pid>_<n>.TMP" or in a page file's name.
std::optional<long> owner_process(std::string_view name) {
    if (const auto page = page_file_owner(name)) return page->pid;
    const std::string_view rest = name.substr(1);
    const auto dot = rest.rfind('.');
    if (dot == std::string_view::npos || !equal_ignoring_case(rest.substr(dot), ".TMP"))
        return std::nullopt;
    std::string_view body = rest.substr(0, dot);
    if (body.size() <= 2 || !equal_ignoring_case(body.substr(0, 2), "KV")) return std::nullopt;
    body.remove_prefix(2);
    std::string text(body);
    text += '.';
    std::string_view cursor = text;
    long pid = 0;
    long number = 0;
    if (!read_number(cursor, '_', pid) || !read_number(cursor, '.', number) || !cursor.empty())
        return std::nullopt;
    return pid;
}

// The mark's date-and-hundredths form: an optional word of letters, eight digits of a date and
// one to seven of hundredths (at most 8,640,000 in a day), then perhaps an extension.
bool is_dated_name(std::string_view rest) {
    const auto dot = rest.find('.');
    std::string_view body = rest.substr(0, dot);
    std::size_t word = 0;
    while (word < body.size() && std::isalpha(static_cast<unsigned char>(body[word]))) ++word;
    body.remove_prefix(word);
    return body.size() >= 9 && body.size() <= 15 && all_digits(body);
}

bool process_runs(long pid) {
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

}  // namespace

std::string page_file_name(long pid, long job, long page) {
    return TEMPORARY_MARK + std::to_string(pid) + "-" + std::to_string(job) + "-" +
           std::to_string(page) + std::string(kPageExtension);
}

std::optional<PageFileOwner> page_file_owner(std::string_view name) {
    if (name.size() <= kPageExtension.size() || name.front() != TEMPORARY_MARK ||
        !equal_ignoring_case(name.substr(name.size() - kPageExtension.size()), kPageExtension))
        return std::nullopt;
    std::string text(name.substr(1, name.size() - 1 - kPageExtension.size()));
    text += '.';
    std::string_view cursor = text;
    PageFileOwner owner;
    if (!read_number(cursor, '-', owner.pid) || !read_number(cursor, '-', owner.job) ||
        !read_number(cursor, '.', owner.page) || !cursor.empty() || owner.pid == 0)
        return std::nullopt;
    return owner;
}

bool is_stale_temporary(const std::string& folder, const std::string& name) {
    if (name.size() < 2 || name.front() != TEMPORARY_MARK) return false;
    if (const auto pid = owner_process(name))
        return *pid == static_cast<long>(::getpid()) || !process_runs(*pid);
    if (!is_dated_name(std::string_view(name).substr(1))) return false;
    return !platform::is_held_open(folder.empty() ? name : folder + "/" + name);
}

}  // namespace kv::util
