#include "core/served_folder.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <vector>

#include "platform/files.h"
#include "util/paths.h"

namespace kv::core {
namespace {

struct Served {
    std::string root;
    std::string current;  // always the root or below it
    platform::Root held;  // the root's descriptor
};

std::optional<Served> served;
std::string settings_file;

bool is_separator(char c) {
    return c == '/' || c == '\\';
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The folder with its symbolic links resolved; nullopt when it does not exist.
std::optional<std::string> real_folder(const std::string& folder) {
    std::unique_ptr<char, decltype(&::free)> real(::realpath(folder.c_str(), nullptr), ::free);
    if (!real) return std::nullopt;
    return std::string(real.get());
}

Served& state() {
    if (!served) {
        const std::string current = platform::current_folder();
        const std::string root = real_folder(current).value_or(current);
        platform::set_exact_folder(root);
        auto held = platform::open_root(root);
        served = Served{root, root, held ? std::move(*held) : platform::Root{}};
    }
    return *served;
}

// True when the path is the served root or lies below it.
bool inside_root(const std::string& path, const std::string& root) {
    if (root == "/") return !path.empty() && is_separator(path.front());
    return path.compare(0, root.size(), root) == 0 &&
           (path.size() == root.size() || is_separator(path[root.size()]));
}

// The components of a path below the served root (none for the root itself, and for a path
// outside it, which the device never sees).
std::vector<std::string> components_below_root(const std::string& path) {
    const std::string& root = state().root;
    std::vector<std::string> parts;
    if (!inside_root(path, root)) return parts;
    std::string part;
    for (char c : path.substr(root == "/" ? 0 : root.size())) {
        if (!is_separator(c)) {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(std::move(part));
            part.clear();
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

bool holds_wildcard(const std::string& part) {
    return part.find_first_of("*?") != std::string::npos;
}

// A component of a device name as the device's own file system keeps it: the spaces and dots
// that end it are dropped ("NAME . " is NAME). One made of nothing else stays as given (a Save
// refuses it). A wildcard pattern keeps one ending dot, which means something there ("*. " is
// "*.", the names without an extension).
std::string device_component(const std::string& part) {
    const auto last = part.find_last_not_of(". ");
    if (last == std::string::npos) return part;
    std::string kept = part.substr(0, last + 1);
    if (holds_wildcard(part) && part.find('.', last + 1) != std::string::npos) kept += '.';
    return kept;
}

}  // namespace

bool set_served_root(const std::string& folder) {
    if (folder.empty()) return false;
    const auto real = real_folder(folder);
    if (!real) return false;
    // The root is used exactly as it stands: a folder named "DATA." is not the folder DATA.
    const std::string previous = platform::exact_folder();
    platform::set_exact_folder(*real);
    auto held = platform::open_root(*real);
    if (!held || !util::DIR_(*real) || ::fchdir(held->fd.get()) != 0) {
        platform::set_exact_folder(previous);
        return false;
    }
    served = Served{*real, *real, std::move(*held)};
    return true;
}

const std::string& served_root() {
    return state().root;
}

const std::string& served_current_folder() {
    return state().current;
}

const platform::Root& served_root_folder() {
    return state().held;
}

std::vector<std::string> served_components(const std::string& path) {
    return components_below_root(path);
}

platform::Fd open_served(const std::string& path) {
    if (!inside_root(path, state().root)) {
        errno = EXDEV;
        return platform::Fd();
    }
    return platform::open_beneath(state().held, components_below_root(path));
}

platform::Fd open_served_file(const std::string& path, int flags) {
    const platform::Fd found = open_served(path);
    struct stat st;
    if (!found.valid() || ::fstat(found.get(), &st) != 0) return platform::Fd();
    if (!S_ISREG(st.st_mode)) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        return platform::Fd();
    }
    return platform::reopen(found.get(), flags | O_NOCTTY);
}

std::optional<platform::Entry> served_entry(const std::string& path) {
    if (!inside_root(path, state().root)) {
        errno = EXDEV;
        return std::nullopt;
    }
    return platform::open_entry_beneath(state().held, components_below_root(path));
}

std::string served_path(const std::string& name) {
    if (name.empty()) return name;
    const Served& s = state();
    std::vector<std::string> parts =
        components_below_root(is_separator(name.front()) ? s.root : s.current);
    std::string part;
    auto take = [&parts](std::string& p) {
        if (p == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!p.empty() && p != ".") {
            parts.push_back(device_component(p));
        }
        p.clear();
    };
    for (char c : name) {
        if (is_separator(c))
            take(part);
        else
            part += c;
    }
    take(part);
    std::string path = s.root;
    for (const auto& p : parts) path = join(path, p);
    if (is_separator(name.back()) && path != "/") path += '/';
    return path;
}

NameFault single_name_fault(const std::string& name) {
    std::string part;
    for (std::size_t i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !is_separator(name[i])) {
            part += name[i];
            continue;
        }
        if (!part.empty() && part != "." && part != "..") {
            if (holds_wildcard(part)) return NameFault::Wildcard;
            if (part.find_last_not_of(". ") == std::string::npos) return NameFault::SpacesAndDots;
            if (part.front() == '.') return NameFault::LeadingDot;
        }
        part.clear();
    }
    return NameFault::None;
}

std::string why_not_a_single_name(const std::string& name) {
    switch (single_name_fault(name)) {
        case NameFault::Wildcard:
            return "a name cannot hold \"*\" or \"?\"";
        case NameFault::SpacesAndDots:
            return "a part of the name is nothing but spaces and dots";
        case NameFault::LeadingDot:
            return "a name part beginning with \".\" is hidden from the catalogue and Erase";
        case NameFault::None:
            break;
    }
    return {};
}

bool enter_served_folder(const std::string& name) {
    const std::string path = served_path(name);
    const platform::Fd folder = open_served(path);
    struct stat st;
    if (!folder.valid() || ::fstat(folder.get(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::fchdir(folder.get()) != 0)
        return false;
    // The folder's names as they stand on disk, for the catalogue's path line.
    std::string on_disk = platform::resolve_path(path);
    if (on_disk.size() > 1 && on_disk.back() == '/') on_disk.pop_back();
    state().current = on_disk;
    return true;
}

bool holds_current_folder(const std::string& folder) {
    std::string on_disk = platform::resolve_path(folder);
    if (on_disk.size() > 1 && on_disk.back() == '/') on_disk.pop_back();
    const std::string& current = state().current;
    if (inside_root(current, on_disk)) return true;
    const auto real = real_folder(on_disk);
    return real && inside_root(real_folder(current).value_or(current), *real);
}

void protect_settings_file(const std::string& absolute_path) {
    settings_file = absolute_path;
}

bool is_settings_file(const std::string& path) {
    if (settings_file.empty() || path.empty()) return false;
    // The name as the platform takes it ("KV32.INI." is KV32.INI), in the real folder.
    const auto full = platform::full_path_name(path);
    if (!full) return false;
    std::string name = *full;
    while (name.size() > 1 && is_separator(name.back())) name.pop_back();
    const std::string folder = platform::folder_part(name);
    const std::string wanted_folder = platform::folder_part(settings_file);
    if (!platform::names_equal_ignoring_case(platform::file_part(name),
                                             platform::file_part(settings_file)))
        return false;
    const auto real = real_folder(folder.empty() ? "/" : folder);
    const auto wanted = real_folder(wanted_folder.empty() ? "/" : wanted_folder);
    return real && wanted && *real == *wanted;
}

std::string why_not_a_name_on_disk(const std::string& path) {
    // The longest name the served folder's file system takes (NAME_MAX where it does not say).
    long longest = ::pathconf(state().root.c_str(), _PC_NAME_MAX);
    if (longest <= 0) longest = NAME_MAX;
    for (const auto& part : components_below_root(path)) {
        if (part.size() > static_cast<std::size_t>(longest))
            return "a part of the name is " + std::to_string(part.size()) +
                   " bytes long, the file system takes at most " + std::to_string(longest);
    }
    if (path.size() >= PATH_MAX)
        return "the whole path would be " + std::to_string(path.size()) +
               " bytes long, longer than a path can be";
    return {};
}

std::string device_path(const std::string& path) {
    std::string shown = "/";
    for (const auto& p : components_below_root(path)) shown = join(shown, p);
    return shown;
}

}  // namespace kv::core
