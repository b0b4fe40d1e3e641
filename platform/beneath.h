#pragma once
// Names resolved beneath a folder's open descriptor, so that the kernel, not a look at a name
// made earlier, keeps every open inside the folder: a link or a folder that another user swaps
// in while a name is being resolved cannot lead the open outside.
//
// - Components are looked up as platform/files.h looks them up: an exact match wins, otherwise the
//   first entry of the folder that matches ignoring case; a component that matches nothing is
//   kept as given.
// - The kernel resolves the whole path with openat2(RESOLVE_BENEATH) when it can (relative links
//   that stay inside are followed there); otherwise (a differently cased name, an absolute link,
//   a kernel without openat2) the path is walked one component at a time, each opened with
//   O_NOFOLLOW relative to the folder before it.
// - A link met on the way is followed while its target stays beneath the root (an absolute
//   target that begins with the root's path counts as beneath it, and is walked from the root's
//   descriptor). A link whose target leads outside is followed only when it belongs to the user
//   this process runs as, and never when outside links are refused (set_outside_links); beyond
//   it, links of other users are not followed at all.
// - A refusal is errno EXDEV.
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace kv::platform {

// An owned descriptor, closed when dropped.
class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Whether a link leading outside a root is followed when this process's user owns it (the
// default). False refuses every link that leads outside.
void set_outside_links(bool followed_when_owned);
bool outside_links();

// A folder to resolve names beneath: its descriptor (O_PATH) and its absolute path without links.
struct Root {
    Fd fd;
    std::string path;
};
// Opens a folder as a root; nullopt (errno set) when it is not a folder that can be opened.
std::optional<Root> open_root(const std::string& folder);

// What the components below a root name, opened with O_PATH; a last component that is a link
// is followed by the rule above. Invalid (errno set) when it does not exist or is refused.
Fd open_beneath(const Root& root, const std::vector<std::string>& parts);
// The same, with links that lead outside never followed, whoever owns them.
Fd open_strictly_beneath(const Root& root, const std::vector<std::string>& parts);

// The folder that holds what the components name (O_PATH, reached as open_beneath reaches it)
// and the last component's name in it as it stands on disk (as given when nothing matches).
// Nothing is followed in the last component: callers act on it with *at calls and O_NOFOLLOW.
struct Entry {
    Fd folder;
    std::string name;
};
std::optional<Entry> open_entry_beneath(const Root& root, const std::vector<std::string>& parts,
                                        bool strictly = false);

// Opens an O_PATH descriptor again with real flags (O_RDONLY, O_RDWR, O_DIRECTORY...): the same
// file, whatever its names now lead to. Links are never followed.
Fd reopen(int path_fd, int flags);
// A name that the path-based functions of platform/files.h take for the file of a descriptor
// ("/proc/self/fd/N"): the file itself, wherever it has moved since.
std::string descriptor_path(int fd);
// The name of an entry of a folder as it stands on disk, looked up ignoring case; nullopt when
// none matches.
std::optional<std::string> name_in_folder(int folder_fd, const std::string& name);

// Writes a new file into a folder (a descriptor, O_PATH will do) under `name`: the bytes go to a
// private name created new (O_CREAT|O_EXCL|O_NOFOLLOW, the mode the umask leaves of 0666),
// are flushed, and the file is renamed to `name` without replacing anything
// (renameat2 RENAME_NOREPLACE). False with last_file_error() set otherwise; errno EEXIST when
// the name was taken, also during the write: the other entry stays and nothing of the new file
// is left.
bool write_new_file(int folder_fd, const std::string& name, const std::string& bytes);
// Renames within a folder without replacing anything; false (errno EEXIST) when `to` is taken.
bool rename_no_replace(int folder_fd, const std::string& from, const std::string& to);

// A name for a new entry of a folder that nobody can guess: `stem` and random hex digits.
std::string private_name(const std::string& stem);

}  // namespace kv::platform
