#include "core/served_folder.h"

#include <stdlib.h>

#include <memory>
#include <optional>
#include <vector>

#include "fs/directory.h"
#include "platform/files.h"
#include "util/paths.h"

namespace kv::core {
namespace {

struct Served {
    std::string root;
    std::string current;  // always the root or below it
};

std::optional<Served> served;

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
        served = Served{root, root};
    }
    return *served;
}

// The components of a path below the served root ("" for the root itself).
std::vector<std::string> components_below_root(const std::string& path) {
    const std::string& root = state().root;
    std::vector<std::string> parts;
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

}  // namespace

bool set_served_root(const std::string& folder) {
    if (folder.empty()) return false;
    const auto real = real_folder(folder);
    if (!real || !util::DIR_(*real) || !fs::SETCURDIR(*real)) return false;
    served = Served{*real, *real};
    return true;
}

const std::string& served_root() {
    return state().root;
}

const std::string& served_current_folder() {
    return state().current;
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
            parts.push_back(p);
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

bool enter_served_folder(const std::string& name) {
    const std::string path = served_path(name);
    if (!util::DIR_(path) || !fs::SETCURDIR(path)) return false;
    // The folder's names as they stand on disk, for the catalogue's path line.
    std::string on_disk = platform::resolve_path(path);
    if (on_disk.size() > 1 && on_disk.back() == '/') on_disk.pop_back();
    state().current = on_disk;
    return true;
}

std::string device_path(const std::string& path) {
    std::string shown = "/";
    for (const auto& p : components_below_root(path)) shown = join(shown, p);
    return shown;
}

}  // namespace kv::core
