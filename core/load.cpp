// "L": the PC sends a stored file back, or makes a folder the current folder.
#include <thread>

#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/stored_file.h"
#include "fs/directory.h"
#include "platform/files.h"
#include "util/paths.h"

namespace kv::core {
namespace {

// The answer to a folder request has the shape of a folder Save: status, kind 1, param1 0,
// length 1, param2 0 and one data byte, each sent on its own.
void load_folder(int port, const std::string& name) {
    const std::string folder = without_trailing_slash(name);
    if (!util::DIR(folder) || !fs::SETCURDIR(folder)) return SENDERR(port, kStatusRefused);
    send_ok(port);
    SENDSTR(port, std::string(1, '\x01'));
    SENDSTR(port, std::string(2, '\0'));
    SENDSTR(port, std::string("\x01\0", 2));
    SENDSTR(port, std::string(2, '\0'));
    SENDSTR(port, std::string(1, '\0'));
}

void load_file(int port, const std::string& name) {
    if (!platform::file_exists(name) || !ISKV(name)) return SENDERR(port, kStatusRefused);
    const auto bytes = platform::read_whole_file(name);
    const auto header = bytes ? decode_header(*bytes) : std::nullopt;
    if (!header) return SENDERR(port, kStatusRefused);  // unreadable, or shorter than a header
    send_ok(port);
    const std::string fields = bytes->substr(6, 7);
    SENDSTR(port, fields.substr(0, 1));
    SENDSTR(port, fields.substr(1, 2));
    SENDSTR(port, fields.substr(3, 2));
    SENDSTR(port, fields.substr(5, 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    // What the file holds, which may be less than the header announces.
    SENDSTR(port, std::string_view(*bytes).substr(kStoredHeaderSize));
}

}  // namespace

void LOAD(int port) {
    const std::string name = WAITSTRING();
    if (name.empty()) return SENDERR(port, kStatusRefused);
    if (is_folder_request(name)) return load_folder(port, name);
    load_file(port, name);
}

}  // namespace kv::core
