#pragma once
// The share's root: the tree that the tables and bags of a SETVIEW must lie in. The clients write
// names as they see them through their mapped drive, so a name with a drive letter
// ("S:\DATA\T.DBF") or beginning with "\" starts at the root; a name beginning with "/" is a path
// of this machine, accepted when it lies inside the root; any other name is taken from the served
// folder. ".." never climbs above the root, and links inside the tree are followed before the
// check, so that a link to somewhere else cannot lead out.
#include <sys/types.h>

#include <optional>
#include <string>

#include "platform/beneath.h"

namespace kv::server {

// The root for the names of later requests: a folder given on the command line (empty: the
// served folder). False, with the reason, when it is not a folder or the served folder is not in
// it.
bool set_share_root(const std::string& folder, std::string* why = nullptr);
// The root in force: absolute, without links ("" until set: the current folder serves).
std::string share_root();

// The path on this machine of a name that a request gives, resolved without regard to case and
// with every link followed; nothing when it leads outside the root (why says so).
std::optional<std::string> confined_path(const std::string& name, std::string* why = nullptr);

// A file that a request names, found beneath the share root's open descriptor, so that the kernel
// keeps it inside at the moment it is found also while another user swaps a folder for a link
// (platform/beneath.h: links that lead outside are followed only when this server's user owns
// them). The engine is given `path`, which leads through the held folder; after the engine has
// opened it, `same_file` tells whether the engine's descriptor is the file found here.
struct ConfinedFile {
    platform::Fd folder;  // the folder that holds it (O_PATH)
    std::string path;     // "/proc/self/fd/N/NAME": NAME in that folder, as on disk
    dev_t device = 0;
    ino_t inode = 0;
    // True when a descriptor is the file found. When nothing was found, `path` is a plain path
    // inside the root that led to nothing, for the engine to fail on: whatever the engine opened
    // there came later, and is never the file found.
    bool same_file(int fd) const;
    // True when `path` still leads to the file found (for opens whose descriptor is not seen).
    bool still_there() const;
};
// Nothing, with why, when the name leads outside the root or to nothing.
std::optional<ConfinedFile> open_confined(const std::string& name, std::string* why = nullptr);

// A file this server holds open for itself while it runs (its SERVER.EXE), known by its device
// and inode whatever name, link or spelling leads to it: a request may not name it, since the
// command would wait for it for ever.
class ScopedOwnFile {
  public:
    explicit ScopedOwnFile(const std::string& path);
    ~ScopedOwnFile();
    ScopedOwnFile(const ScopedOwnFile&) = delete;
    ScopedOwnFile& operator=(const ScopedOwnFile&) = delete;

  private:
    bool held_ = false;
};

// Why a request may not use the file at the path: a server's lock table (any SERVER.EXE, which
// its server holds for as long as it runs) or a file this server holds; "" when it may.
std::string reserved_file(const std::string& path);

}  // namespace kv::server
