// "S": the device sends a file (or asks for a folder) and the PC stores it.
#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/progress.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "fs/directory.h"
#include "platform/files.h"
#include "platform/texts.h"
#include "util/paths.h"

namespace kv::core {
namespace {

std::string without_slash(std::string path) {
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    return path;
}

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

// Why a new entry cannot be made at `path`, or "" when it can; told before the device is
// answered, so that a refusal is never reported as success.
std::string why_not_new_entry(const std::string& path) {
    if (std::string why = why_not_a_name_on_disk(path); !why.empty()) return why;
    if (is_settings_file(path)) return "that is the settings file's name";
    if (platform::is_link(path)) return "a link of that name exists";
    const std::string folder = platform::folder_part(path);
    if (!platform::folder_takes_new_files(folder.empty() ? "." : folder))
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
    if (util::DIR_(folder) || platform::file_exists(folder))
        return refuse(port, r.name, "that name exists");
    if (const std::string why = why_not_new_entry(without_slash(folder)); !why.empty())
        return refuse_logged(port, r.name, why);
    if (!fs::CREATEDIR(folder))
        return refuse_logged(port, r.name,
                             "the folder cannot be made (" +
                                 platform::file_error_text(platform::last_file_error()) + ")");
    send_ok(port);
    WAITCHAR();  // the folder's single data byte
    log_outcome(shown_name(r.name) + ": folder made");
}

void save_file(int port, const SaveRequest& r) {
    const std::string path = served_path(r.name);
    if (platform::file_exists(path))
        return refuse(port, r.name, "a file of that name exists (the device erases it first)");
    if (platform::folder_exists(path)) return refuse(port, r.name, "a folder of that name exists");
    if (const std::string why = why_not_new_entry(path); !why.empty())
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
    // The device has had its 0x00 and sent its data: a failure can only be told in the log.
    if (!platform::write_whole_file(path, encode_header(r.header) + data,
                                    platform::NameCase::Setting)) {
        log_line("Cannot save " + shown_name(r.name) + ": " +
                 platform::file_error_text(platform::last_file_error()));
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
