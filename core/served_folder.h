#pragma once
// The folder that KV32 serves. To the device it is the root of a drive: every name the device
// sends is taken inside it, component by component. A name beginning with "/" or "\" starts at
// the served root, "." is dropped and ".." never climbs above the served root. The confinement
// is lexical: symbolic links that the user placed inside the tree are followed like any folder
// (the device cannot make links). Serving "/" gives the device the whole file system.
//
// Every file and folder a device name leads to is opened beneath the served root's open
// descriptor (platform/beneath.h), so the kernel keeps it inside at the moment of the open,
// while another user swaps folders or plants links: links that stay inside are followed, a link
// that leads outside only when it belongs to the user KV32 runs as, and never with
// --no-outside-links (platform::set_outside_links). Callers resolve a name with served_path()
// and then reach it through open_served() or served_entry(), never through the path itself.
#include <optional>
#include <string>
#include <vector>

#include "platform/beneath.h"

namespace kv::core {

// Serves a folder (relative to the current folder) and makes it the current folder. False, with
// nothing changed, when it is not a folder that can be entered.
bool set_served_root(const std::string& folder);
// The served root: absolute, "/"-separated, without symbolic links. Until one is set, the
// current folder at the first use.
const std::string& served_root();
// The device's current folder, absolute, inside the served root.
const std::string& served_current_folder();
// The served root held open, to resolve names beneath it.
const platform::Root& served_root_folder();

// The components below the served root of a path of the served tree (as served_path gives it);
// none for the root itself.
std::vector<std::string> served_components(const std::string& path);
// Opens (O_PATH) what a path of the served tree names, beneath the served root; a last part that
// is a link is followed by the rule above. Invalid, errno set (EXDEV: a link leads outside and
// may not be followed), when nothing may be opened.
platform::Fd open_served(const std::string& path);
// Opens a regular file of the served tree with real flags (O_RDONLY...), reached as open_served
// reaches it; invalid (errno EISDIR or EACCES for what is not a regular file) otherwise.
platform::Fd open_served_file(const std::string& path, int flags);
// The folder (O_PATH) that holds what a path of the served tree names, reached beneath the
// served root, and the entry's name in it as it stands on disk: for creating, renaming and
// removing the entry itself with *at calls that follow no link. Nothing for the root itself or
// when the folder cannot be reached.
std::optional<platform::Entry> served_entry(const std::string& path);

// The absolute path of a device name inside the served tree. The spaces and dots that end each of
// the name's components are dropped, as the device's own file system does (never those of the
// served root's path; a wildcard pattern keeps one ending dot). A trailing separator and
// wildcards are kept; "" stays "".
std::string served_path(const std::string& name);
// Why a device name cannot be given to a new file or folder, "" when it can: a part of it holds a
// wildcard (no Load could name it), is nothing but spaces and dots (the dropping leaves it empty
// or a dot name), or begins with "." (hidden here: the catalogue never lists it and Erase never
// finds it). "." and ".." standing alone are steps between folders.
std::string why_not_a_single_name(const std::string& name);
// The same rule as a value, for callers that say it in words of their own.
enum class NameFault { None, Wildcard, SpacesAndDots, LeadingDot };
NameFault single_name_fault(const std::string& name);
// Makes a device folder name the current folder; false, with nothing changed, when it is not a
// folder that can be made current.
bool enter_served_folder(const std::string& name);
// True when a folder of the served tree is the device's current folder or holds it (the served
// root always does): such a folder is never removed.
bool holds_current_folder(const std::string& folder);
// The settings file (absolute): the device may not save, erase or make a folder under its name
// in its folder, whatever the case of the name. "" protects nothing.
void protect_settings_file(const std::string& absolute_path);
// True when a path of the served tree names the settings file.
bool is_settings_file(const std::string& path);

// Why a path of the served tree cannot be a name on disk, "" when it can: a part of it longer than
// the served folder's file system takes, or a whole path longer than a path can be.
std::string why_not_a_name_on_disk(const std::string& path);

// The device's view of a path inside the served tree: "/" for the served root, "/GAMES" below.
std::string device_path(const std::string& path);

// A name holding a NUL byte cannot be a name on disk.
inline bool holds_nul(const std::string& name) {
    return name.find('\0') != std::string::npos;
}

}  // namespace kv::core
