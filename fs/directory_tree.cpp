// The composites: attribute bit setters and the folder-tree copy and delete.
#include "fs/directory.h"
#include "platform/files.h"
#include "util/msgbox.h"

namespace kv::fs {

namespace pf = kv::platform;

namespace {

// Sets or clears one attribute bit, writing only when it is not already as wanted.
void change_bit(const OptPath& path, std::uint32_t bit, bool set) {
    std::int32_t read = GETFILEATTRIBUTES(path);
    if (read == -1) return;
    auto attributes = static_cast<std::uint32_t>(read);
    if (((attributes & bit) != 0) == set) return;
    SETFILEATTRIBUTES(path, set ? attributes + bit : attributes - bit);
}

void inform(const std::string& text) {
    util::POPMSG(text, 1);
}

std::string join(const std::string& folder, const std::string& name) {
    return pf::ends_with_separator(folder) ? folder + name : folder + "/" + name;
}

std::vector<pf::DirEntry> contents(const std::string& folder, bool with_system) {
    std::vector<pf::DirEntry> entries = pf::find_entries(
        join(folder, "*.*"), {.folders = true, .hidden = true, .system = with_system});
    std::erase_if(entries, [](const pf::DirEntry& e) { return e.name == "." || e.name == ".."; });
    return entries;
}

// True when the folder target lies inside source, where a copy would never end.
bool inside(const std::string& target, const std::string& source) {
    std::string outer = pf::resolve_path(source);
    if (!outer.empty() && outer.back() == '/') outer.pop_back();
    return pf::resolve_path(target).starts_with(outer + "/");
}

bool is_folder_link(const std::string& folder) {
    std::int32_t attributes = GETFILEATTRIBUTES(folder);
    return attributes != -1 && (static_cast<std::uint32_t>(attributes) & pf::ATTR_REPARSE_POINT);
}

}  // namespace

void CLEARREADONLY(const OptPath& path) {
    change_bit(path, pf::ATTR_READONLY, false);
}
void CLEARHIDDEN(const OptPath& path) {
    change_bit(path, pf::ATTR_HIDDEN, false);
}
void CLEARSYSTEM(const OptPath& path) {
    change_bit(path, pf::ATTR_SYSTEM, false);
}
void SETHIDDEN(const OptPath& path) {
    change_bit(path, pf::ATTR_HIDDEN, true);
}

bool COPYDIR(const std::string& source, const std::string& target, bool create_target) {
    if (create_target && (inside(target, source) || !CREATEDIR(target))) {
        inform("Impossibile creare la cartella " + target + ".");
        return false;
    }
    if (!SETFILEDATETIME(source, target)) {
        inform("Impossibile impostare data e ora della cartella " + target + ".");
        return false;
    }
    for (const auto& entry : contents(source, false)) {
        std::string from = join(source, entry.name), to = join(target, entry.name);
        if (entry.is_folder()) {
            if (!COPYDIR(from, to, true)) return false;
        } else if (!COPYFILE(from, to, false)) {
            inform("Impossibile copiare il file " + from + ".");
            return false;
        }
    }
    // Copying the contents changed the folder's time again: give it the source's once more.
    SETFILEDATETIME(source, target);
    return true;
}

bool DELETEDIR(const std::string& folder, bool remove_self) {
    // A link to a folder is removed itself; what it points to is neither emptied nor changed.
    if (!is_folder_link(folder)) {
        for (const auto& entry : contents(folder, true)) {
            std::string full = join(folder, entry.name);
            if (entry.is_folder()) {
                if (!DELETEDIR(full, true)) return false;
                continue;
            }
            // A link is deleted itself: the attributes it shows are those of what it points to,
            // which may lie outside the tree.
            if (!(entry.attributes & pf::ATTR_REPARSE_POINT)) {
                CLEARREADONLY(full);
                CLEARHIDDEN(full);
            }
            if (!DELETEFILE(full)) {
                inform("Impossibile cancellare il file " + full + ".");
                return false;
            }
        }
    }
    if (remove_self) {
        if (!is_folder_link(folder)) {
            CLEARREADONLY(folder);
            CLEARHIDDEN(folder);
        }
        if (!REMOVEDIR(folder)) {
            inform("Impossibile cancellare la cartella " + folder + ".");
            return false;
        }
    }
    return true;
}

}  // namespace kv::fs
