// "E": the PC deletes the stored files matching a name or pattern, or removes an empty folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "core/erase_checked.h"
#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "platform/files.h"

namespace kv::core {
namespace {

// A refusal that the disk or a protection forced, logged even without verbose logging.
void refuse_logged(int port, const std::string& name, const std::string& why) {
    SENDERR(port, kStatusRefused);
    log_line("Cannot erase " + shown_name(name) + ": " + why);
}

void erase_folder(int port, const std::string& name) {
    const std::string folder = requested_folder(name);
    if (served_components(folder).empty())
        return refuse(port, name, "the current folder, or a folder that holds it");
    const auto entry = served_entry(folder);
    struct stat st;
    if (!entry ||
        ::fstatat(entry->folder.get(), entry->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return refuse(port, name, "no such folder");
    // A link was placed by the user; removing it would remove what the user put there.
    if (S_ISLNK(st.st_mode)) return refuse_logged(port, name, "it is a link");
    if (!S_ISDIR(st.st_mode)) return refuse(port, name, "no such folder");
    if (holds_current_folder(folder))
        return refuse(port, name, "the current folder, or a folder that holds it");
    if (is_settings_file(folder))
        return refuse_logged(port, name, "that is the settings file's name");
    const std::string held = platform::descriptor_path(entry->folder.get()) + "/" + entry->name;
    // The kernel removes only an empty folder under that name, never what a link leads to.
    if ((platform::file_attributes(held) & platform::ATTR_READONLY) != 0 ||
        ::unlinkat(entry->folder.get(), entry->name.c_str(), AT_REMOVEDIR) != 0)
        return refuse(port, name, "the folder is not empty or cannot be removed");
    send_ok(port);
    log_outcome(shown_name(name) + ": folder removed");
}

// A link is never erased; one that leads to a stored file is told of.
Erased link_found(const std::string& path, const std::string& name, std::string& why) {
    if (!ISKV(path)) return Erased::NotStored;
    why = shown_name(name) + " is a link, which is never erased";
    return Erased::Kept;
}

}  // namespace

// Erases the entry `name` of a folder only while it is the stored file that was checked: the file
// is opened (no link followed) and checked on its descriptor, then its name is moved to a private
// one and removed only if that name still leads to the same file; anything else that came under
// the name meanwhile is put back.
Erased erase_checked(int folder, const std::string& path, const std::string& name,
                     std::string& why) {
    platform::Fd fd(
        ::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return errno == ELOOP ? link_found(path, name, why) : Erased::NotStored;
    platform::File file;
    if (!file.adopt(fd.release(), platform::Access::Read, platform::Share::DenyAll) ||
        !read_stored_header(file.fd()))
        return Erased::NotStored;  // not a stored file, or open elsewhere: left alone
    struct stat checked;
    if (::fstat(file.fd(), &checked) != 0) return Erased::NotStored;
    if (is_settings_file(path)) {
        why = "the settings file is never erased";
        return Erased::Kept;
    }
    auto cannot = [&](int error) {
        why = shown_name(name) + " cannot be deleted (" +
              platform::file_error_text({platform::win_error::ACCESS_DENIED, error}) + ")";
        return Erased::Kept;
    };
    if ((checked.st_mode & S_IWUSR) == 0) return cannot(EACCES);  // read-only, as on Windows
    const std::string aside = platform::private_name(".kv-erase-");
    if (!platform::rename_no_replace(folder, name, aside)) return cannot(errno);
    struct stat moved;
    if (::fstatat(folder, aside.c_str(), &moved, AT_SYMLINK_NOFOLLOW) == 0 &&
        moved.st_dev == checked.st_dev && moved.st_ino == checked.st_ino) {
        if (::unlinkat(folder, aside.c_str(), 0) == 0) return Erased::Yes;
        const int error = errno;
        platform::rename_no_replace(folder, aside, name);
        return cannot(error);
    }
    // Another entry took the name between the check and the move: it goes back untouched.
    if (!platform::rename_no_replace(folder, aside, name))
        log_line("Erasing: another entry under " + shown_name(name) +
                 " could not be put back and is now named " + shown_name(aside));
    why = shown_name(name) + " changed while it was being erased, and was left alone";
    return Erased::Kept;
}

namespace {

// Only stored files are deleted; other files that match are left alone. The answer is 15 when
// stored files (or links, or the settings file) matched and none of them was deleted.
void erase_files(int port, const std::string& name) {
    std::string pattern = name;
    std::replace(pattern.begin(), pattern.end(), '/', '\\');
    pattern = served_path(pattern);
    if (!platform::has_wildcards(platform::file_part(pattern)) && is_settings_file(pattern))
        return refuse_logged(port, name, "that is the settings file's name");
    const auto entry = served_entry(pattern);
    if (!entry) return refuse(port, name, "no such file");
    // The folder's entries, listed through its descriptor.
    const std::string listed =
        platform::descriptor_path(entry->folder.get()) + "/" + platform::file_part(pattern);
    if (!platform::file_exists(listed)) return refuse(port, name, "no such file");
    const std::string folder = platform::folder_part(pattern);
    std::size_t erased = 0;
    std::size_t kept = 0;
    std::string why;
    for (const auto& found : platform::find_entries(listed)) {
        const Erased outcome =
            erase_checked(entry->folder.get(), folder + found.name, found.name, why);
        erased += outcome == Erased::Yes;
        kept += outcome == Erased::Kept;
    }
    if (erased == 0 && kept > 0) return refuse_logged(port, name, why);
    send_ok(port);
    if (kept > 0) log_line("Erasing " + shown_name(name) + ": " + why);
    log_outcome(counted(erased, "stored file", "stored files") + " erased");
}

}  // namespace

void ERASE_(int port) {
    const std::string name = wait_name();
    abandon_if_esc_interrupted(port, "The Erase of " + shown_name(name));
    if (refused_name(port, name)) return;
    if (is_folder_request(name)) return erase_folder(port, name);
    erase_files(port, name);
}

}  // namespace kv::core
