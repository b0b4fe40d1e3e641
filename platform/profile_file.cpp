#include "platform/profile_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_set>

namespace kv::platform {
namespace {

namespace stdfs = std::filesystem;

constexpr const char* kBlanks = " \t";
constexpr const char* kNewLine = "\r\n";

// Upper case of a Windows-1252 byte, for names that match without regard to case.
unsigned char fold(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
        case 0x9A:
            return 0x8A;  // š
        case 0x9C:
            return 0x8C;  // œ
        case 0x9E:
            return 0x8E;  // ž
        case 0xFF:
            return 0x9F;  // ÿ
        default:
            return c;
    }
}

bool same_name(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return fold(static_cast<unsigned char>(x)) == fold(static_cast<unsigned char>(y));
           });
}

std::string folded(std::string s) {
    for (auto& c : s) c = static_cast<char>(fold(static_cast<unsigned char>(c)));
    return s;
}

// Names seen so far, without regard to case; insert() tells whether a name is new.
class NameSet {
  public:
    bool insert(const std::string& name) { return seen_.insert(folded(name)).second; }

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

// An existing entry of the folder whose name equals name ignoring case, or name itself.
stdfs::path match_case(const stdfs::path& path) {
    std::error_code ec;
    if (stdfs::exists(path, ec)) return path;
    const auto name = path.filename().string();
    const auto folder = path.has_parent_path() ? path.parent_path() : stdfs::path(".");
    for (stdfs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (same_name(it->path().filename().string(), name))
            return path.parent_path() / it->path().filename();
    }
    return path;
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

std::optional<std::string> read_file(const std::string& file) {
    if (file.empty()) return std::nullopt;
    std::ifstream in(profile_path(file), std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The name of a "[section]" line, or nothing for any other line.
std::optional<std::string> section_header(const std::string& text) {
    const auto t = trim(text);
    if (t.empty() || t.front() != '[') return std::nullopt;
    const auto close = t.find(']');
    return trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
}

// The key and raw value of a "key=value" line; nothing for blank lines, comments and headers.
// A line without "=" names a key without a value.
std::optional<ProfileEntry> key_line(const std::string& text) {
    const auto t = trim(text);
    if (t.empty() || t.front() == ';' || t.front() == '[') return std::nullopt;
    const auto eq = t.find('=');
    auto key = trim(t.substr(0, eq));
    if (key.empty()) return std::nullopt;
    return ProfileEntry{key, eq == std::string::npos ? std::string() : t.substr(eq + 1)};
}

// Where a section lies: the index of its header and one past its last line.
struct SectionSpan {
    std::size_t header;
    std::size_t end;
};

std::optional<SectionSpan> find_section(const std::vector<Line>& lines,
                                        const std::string& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = section_header(lines[i].text);
        if (!name || !same_name(*name, section)) continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !section_header(lines[end].text)) ++end;
        return SectionSpan{i, end};
    }
    return std::nullopt;
}

std::vector<ProfileEntry> section_entries(const std::vector<Line>& lines, SectionSpan span) {
    std::vector<ProfileEntry> entries;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        auto entry = key_line(lines[i].text);
        if (!entry) continue;
        const bool seen = std::any_of(entries.begin(), entries.end(), [&](const ProfileEntry& e) {
            return same_name(e.first, entry->first);
        });
        if (!seen) entries.push_back({entry->first, unquote(trim(entry->second))});
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
        if (same_name(entry->first, key)) {
            lines[i].text = entry->first + "=" + value;
            return;
        }
        last_key = i;
    }
    if (lines[last_key].end.empty()) lines[last_key].end = kNewLine;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(last_key + 1),
                 Line{key + "=" + value, kNewLine});
}

// Replaces the file by way of a new file in the same folder, so that a failed write leaves the
// old contents in place.
bool replace_file(const stdfs::path& path, const std::string& bytes) {
    std::error_code ec;
    const bool existed = stdfs::exists(path, ec);
    if (existed && ::access(path.c_str(), W_OK) != 0) return false;
    auto temp = path;
    temp += ".kv32-" + std::to_string(::getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            stdfs::remove(temp, ec);
            return false;
        }
    }
    if (existed) stdfs::permissions(temp, stdfs::status(path, ec).permissions(), ec);
    stdfs::rename(temp, path, ec);
    if (ec) stdfs::remove(temp, ec);
    return !ec;
}

}  // namespace

std::string profile_path(const std::string& file) {
    std::string path = file;
    std::replace(path.begin(), path.end(), '\\', '/');
    if (!has_folder(file)) path = config_folder() + "/" + path;
    return match_case(path).string();
}

std::optional<std::string> read_profile_string(const std::string& section, const std::string& key,
                                               const std::string& file) {
    for (const auto& [name, value] : read_profile_section(section, file)) {
        if (same_name(name, key)) return value;
    }
    return std::nullopt;
}

std::vector<ProfileEntry> read_profile_section(const std::string& section,
                                               const std::string& file) {
    const auto bytes = read_file(file);
    if (!bytes) return {};
    const auto lines = split_lines(*bytes);
    const auto span = find_section(lines, section);
    return span ? section_entries(lines, *span) : std::vector<ProfileEntry>{};
}

std::vector<std::string> read_profile_section_names(const std::string& file) {
    const auto bytes = read_file(file);
    if (!bytes) return {};
    std::vector<std::string> names;
    NameSet seen;
    for (const auto& line : split_lines(*bytes)) {
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
    if (!has_folder(file)) stdfs::create_directories(config_folder(), ec);
    const auto path = profile_path(file);
    auto lines = split_lines(read_file(file).value_or(""));
    set_value(lines, trim(section), trim(key), value);
    std::string bytes;
    for (const auto& line : lines) bytes += line.text + line.end;
    return replace_file(path, bytes);
}

}  // namespace kv::platform
