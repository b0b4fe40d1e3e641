// "S": the device sends a file (or asks for a folder) and the PC stores it.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/progress.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "platform/files.h"
#include "platform/texts.h"

namespace kv::core {
namespace {

struct SaveRequest {
    StoredHeader header;
    std::string name;
};

SaveRequest read_request() {
    SaveRequest r;
    const std::string type = WAITCHAR();
    r.header.type = type.empty() ? 0 : static_cast<std::uint8_t>(type[0]);
    r.header.param1 = static_cast<std::uint16_t>(WAITUINT());
    r.header.length = static_cast<std::uint16_t>(WAITUINT());
    r.header.param2 = static_cast<std::uint16_t>(WAITUINT());
    r.name = wait_name();
    return r;
}

// What stands under an entry's name now: nothing, a link, a folder or a file.
enum class Standing { Nothing, Link, Folder, File };
Standing standing(const platform::Entry& entry) {
    struct stat st;
    if (::fstatat(entry.folder.get(), entry.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return Standing::Nothing;
    if (S_ISLNK(st.st_mode)) return Standing::Link;
    return S_ISDIR(st.st_mode) ? Standing::Folder : Standing::File;
}

// Why the folder of a new entry cannot be reached beneath the served root.
std::string why_unreachable() {
    if (errno == EXDEV) return "a link on the way leads outside the served folder";
    return "the folder cannot be reached (" + platform::file_error_text({0, errno}) + ")";
}

// Why a new entry cannot be made at `path`, or "" when it can; told before the device is
// answered, so that a refusal is never reported as success.
std::string why_not_new_entry(const std::string& path, const platform::Entry& entry) {
    if (is_settings_file(path)) return "that is the settings file's name";
    if (standing(entry) == Standing::Link) return "a link of that name exists";
    if (!platform::folder_takes_new_files(platform::descriptor_path(entry.folder.get())))
        return "the folder cannot take a new file (" +
               platform::file_error_text(platform::last_file_error()) + ")";
    return {};
}

// A refusal that the disk forced, logged even without verbose logging.
void refuse_logged(int port, const std::string& name, const std::string& why) {
    SENDERR(port, kStatusRefused);
    log_line("Cannot save " + shown_name(name) + ": " + why);
}

void save_folder(int port, const SaveRequest& r) {
    const std::string folder = requested_folder(r.name);
    if (r.header.length != 1)
        return refuse(port, r.name, "a folder comes with exactly one data byte",
                      kStatusBadFolderLength);
    // A name the file system cannot hold says so, before its folders are looked for.
    if (std::string why = why_not_a_name_on_disk(folder); !why.empty())
        return refuse_logged(port, r.name, why);
    const auto entry = served_entry(folder);
    if (!entry) return refuse_logged(port, r.name, why_unreachable());
    const Standing now = standing(*entry);
    if (now == Standing::Folder || now == Standing::File)
        return refuse(port, r.name, "that name exists");
    if (const std::string why = why_not_new_entry(folder, *entry); !why.empty())
        return refuse_logged(port, r.name, why);
    if (::mkdirat(entry->folder.get(), entry->name.c_str(), 0777) != 0)
        return refuse_logged(
            port, r.name,
            "the folder cannot be made (" + platform::file_error_text({0, errno}) + ")");
    send_ok(port);
    WAITCHAR();  // the folder's single data byte
    log_outcome(shown_name(r.name) + ": folder made");
}

void save_file(int port, const SaveRequest& r) {
    const std::string path = served_path(r.name);
    if (std::string why = why_not_a_name_on_disk(path); !why.empty())
        return refuse_logged(port, r.name, why);
    const auto entry = served_entry(path);
    if (!entry) return refuse_logged(port, r.name, why_unreachable());
    const Standing now = standing(*entry);
    if (now == Standing::File)
        return refuse(port, r.name, "a file of that name exists (the device erases it first)");
    if (now == Standing::Folder) return refuse(port, r.name, "a folder of that name exists");
    if (const std::string why = why_not_new_entry(path, *entry); !why.empty())
        return refuse_logged(port, r.name, why);
    send_ok(port);
    std::string data;
    data.reserve(r.header.length);
    Progress progress(platform::translated("Progress", "Saving %1").arg(r.name), r.header.length);
    for (unsigned i = 0; i < r.header.length; ++i) {
        data += WAITCHAR();
        // Nothing is stored of a transfer that Esc interrupted: no file under the device's name.
        if (esc_interrupted()) abandon_if_esc("The Save of " + shown_name(r.name));
        progress.advance(i + 1);
    }
    // The device has had its 0x00 and sent its data: a failure can only be told in the log. A
    // name that another entry took during the transfer keeps that entry.
    const std::string name =
        platform::upper_case_file_names() ? platform::to_upper_name(entry->name) : entry->name;
    if (!platform::write_new_file(entry->folder.get(), name, encode_header(r.header) + data)) {
        const platform::FileError error = platform::last_file_error();
        log_line("Cannot save " + shown_name(r.name) + ": " +
                 (error.posix == EEXIST
                      ? "another entry took the name during the transfer, and it stays"
                      : platform::file_error_text(error)));
        return log_outcome(shown_name(r.name) + ": " + counted(data.size(), "byte", "bytes") +
                           " received, not saved");
    }
    if (data.size() < r.header.length)
        return log_outcome(shown_name(r.name) + ": " + std::to_string(data.size()) + " of " +
                           counted(r.header.length, "byte", "bytes") +
                           " saved (the device stopped sending)");
    log_outcome(shown_name(r.name) + ": " + counted(data.size(), "byte", "bytes") + " saved");
}

}  // namespace

void SAVE(int port) {
    const SaveRequest r = read_request();
    abandon_if_esc_interrupted(port, "The Save of " + shown_name(r.name));
    if (refused_name(port, r.name)) return;
    if (const std::string why = why_not_a_single_name(r.name); !why.empty())
        return refuse_logged(port, r.name, why);
    if (is_folder_request(r.name)) return save_folder(port, r);
    save_file(port, r);
}

}  // namespace kv::core
