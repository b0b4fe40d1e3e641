#include "platform/profile_file.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unordered_set>

#include "platform/files.h"

namespace kv::platform {
namespace {

constexpr const char* kBlanks = " \t\r";  // a CR left before a line's CR LF is no part of it
constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";
constexpr char kEndOfFile = '\x1A';
constexpr const char* kNewLine = "\r\n";

// Names seen so far, without regard to case; insert() tells whether a name is new.
class NameSet {
  public:
    bool insert(const std::string& name) { return seen_.insert(to_upper_name(name)).second; }

  private:
    std::unordered_set<std::string> seen_;
};

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

std::string unquote(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

bool has_folder(const std::string& file) {
    return file.find_first_of("/\\") != std::string::npos;
}

std::string config_folder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/kv32";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/kv32";
}

// One line of the file, its text without the line end and the line end as found.
struct Line {
    std::string text;
    std::string end;
};

std::vector<Line> split_lines(const std::string& bytes) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const auto lf = bytes.find('\n', pos);
        const auto stop = lf == std::string::npos ? bytes.size() : lf;
        const auto text_end = (stop > pos && bytes[stop - 1] == '\r') ? stop - 1 : stop;
        lines.push_back({bytes.substr(pos, text_end - pos),
                         bytes.substr(text_end, stop - text_end + (lf != std::string::npos))});
        pos = stop + 1;
    }
    return lines;
}

// A file's bytes: a UTF-8 byte-order mark in front and Ctrl-Z marks at the end are no part of its
// lines; a write puts them back as they were.
struct ProfileBytes {
    std::string mark;
    std::string text;
    std::string end_of_file;
};

ProfileBytes parts_of(std::string bytes) {
    ProfileBytes parts;
    if (bytes.starts_with(kByteOrderMark)) {
        parts.mark = kByteOrderMark;
        bytes.erase(0, parts.mark.size());
    }
    const auto last = bytes.find_last_not_of(kEndOfFile);
    const auto cut = last == std::string::npos ? 0 : last + 1;
    parts.end_of_file = bytes.substr(cut);
    bytes.erase(cut);
    parts.text = std::move(bytes);
    return parts;
}

std::optional<std::string> read_file(const std::string& file) {
    if (file.empty()) return std::nullopt;
    return read_whole_file(profile_path(file));
}

// The lines of a file, without its byte-order mark and end-of-file marks.
std::optional<std::vector<Line>> read_lines(const std::string& file) {
    const auto bytes = read_file(file);
    if (!bytes) return std::nullopt;
    return split_lines(parts_of(*bytes).text);
}

// The name of a "[section]" line, or nothing for any other line ("[A" without "]" is none).
std::optional<std::string> section_header(const std::string& text) {
    const auto t = trim(text);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return trim(t.substr(1, close - 1));
}

// The key and raw value of a "key=value" line; nothing for blank lines, comments, headers and
// lines without "=".
std::optional<ProfileEntry> key_line(const std::string& text) {
    const auto t = trim(text);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    auto key = trim(t.substr(0, eq));
    if (key.empty()) return std::nullopt;
    return ProfileEntry{key, t.substr(eq + 1)};
}

// Where a section lies: the index of its header and one past its last line.
struct SectionSpan {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionSpan> find_section(const std::vector<Line>& lines, const std::string& asked) {
    const std::string section = trim(asked);  // names are trimmed on reading as on writing
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = section_header(lines[i].text);
        if (!name || !names_equal_ignoring_case(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !section_header(lines[end].text)) ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

std::vector<ProfileEntry> section_entries(const std::vector<Line>& lines, SectionSpan span) {
    std::vector<ProfileEntry> entries;
    NameSet seen;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        auto entry = key_line(lines[i].text);
        if (entry && seen.insert(entry->first)) {
            entries.push_back({entry->first, unquote(trim(entry->second))});
        }
    }
    return entries;
}

bool writable_text(const std::string& s) {
    return s.find_first_of(kNewLine) == std::string::npos;
}

// Sets key = value among the lines, adding the section or the key where missing.
void set_value(std::vector<Line>& lines, const std::string& section, const std::string& key,
               const std::string& value) {
    const auto span = find_section(lines, section);
    if (!span) {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = kNewLine;
        if (!lines.empty() && !trim(lines.back().text).empty()) lines.push_back({"", kNewLine});
        lines.push_back({"[" + section + "]", kNewLine});
        lines.push_back({key + "=" + value, kNewLine});
        return;
    }
    std::size_t last_key = span->header;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const auto entry = key_line(lines[i].text);
        if (!entry) continue;
        if (names_equal_ignoring_case(entry->first, key)) {
            lines[i].text = entry->first + "=" + value;
            return;
        }
        last_key = i;
    }
    if (lines[last_key].end.empty()) lines[last_key].end = kNewLine;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_key + 1),
                 Line{key + "=" + value, kNewLine});
}

}  // namespace

std::string profile_path(const std::string& file) {
    return resolve_path(has_folder(file) ? file : config_folder() + "/" + file, NameCase::AsGiven);
}

std::optional<std::string> read_profile_string(const std::string& section, const std::string& key,
                                               const std::string& file) {
    for (const auto& [name, value] : read_profile_section(section, file)) {
        if (names_equal_ignoring_case(name, trim(key))) return value;
    }
    return std::nullopt;
}

std::vector<ProfileEntry> read_profile_section(const std::string& section,
                                               const std::string& file) {
    const auto lines = read_lines(file);
    if (!lines) return {};
    const auto span = find_section(*lines, section);
    return span ? section_entries(*lines, *span) : std::vector<ProfileEntry>{};
}

std::vector<std::string> read_profile_section_names(const std::string& file) {
    const auto lines = read_lines(file);
    if (!lines) return {};
    std::vector<std::string> names;
    NameSet seen;
    for (const auto& line : *lines) {
        auto name = section_header(line.text);
        if (name && seen.insert(*name)) names.push_back(std::move(*name));
    }
    return names;
}

bool write_profile_string(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) {
    // A line break in any text, a bracket in a section name, or an "=" or a comment or header
    // mark in a key would change the structure of the file.
    if (file.empty() || trim(section).empty() || trim(key).empty()) return false;
    if (!writable_text(section) || !writable_text(key) || !writable_text(value)) return false;
    if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) return false;
    if (const char c = trim(key).front(); c == ';' || c == '[') return false;
    std::error_code ec;
    if (!has_folder(file)) std::filesystem::create_directories(config_folder(), ec);
    const auto path = profile_path(file);
    const ProfileBytes old = parts_of(read_file(file).value_or(""));
    auto lines = split_lines(old.text);
    set_value(lines, trim(section), trim(key), value);
    std::string bytes = old.mark;
    for (const auto& line : lines) bytes += line.text + line.end;
    return write_whole_file(path, bytes + old.end_of_file, NameCase::AsGiven);
}

}  // namespace kv::platform
