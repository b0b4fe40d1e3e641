// "L": the PC sends a stored file back, or makes a folder the current folder.
#include <fcntl.h>

#include <cerrno>
#include <thread>

#include "core/handler_support.h"
#include "core/handlers.h"
#include "core/progress.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "gui/pump.h"
#include "platform/files.h"
#include "platform/texts.h"

namespace kv::core {
namespace {

// About a sixth of a second of the line at 57600 baud.
constexpr std::size_t kLoadPieceSize = 1024;

// The header fields after the status: the kind byte, then param1, length and param2, each
// number low byte first and in a send of its own.
void send_fields(int port, const StoredHeader& header) {
    const std::string fields = encode_fields(header);
    SENDSTR(port, fields.substr(0, 1));
    SENDSTR(port, fields.substr(1, 2));
    SENDSTR(port, fields.substr(3, 2));
    SENDSTR(port, fields.substr(5, 2));
}

// The answer to a folder request has the shape of a folder Save: status, kind 1, param1 0,
// length 1, param2 0 and one data byte.
void load_folder(int port, const std::string& name) {
    const std::string folder = without_trailing_slash(name);
    if (!enter_served_folder(folder.empty() ? "/" : folder))
        return refuse(port, name, "no such folder");
    send_ok(port);
    send_fields(port, StoredHeader{1, 0, 1, 0});
    SENDSTR(port, std::string(1, '\0'));
    log_outcome(shown_name(name) + ": now the current folder (" +
                shown_name(device_path(served_current_folder())) + ")");
}

// The whole of a stored file of the served tree, opened beneath the served root and read from
// that one open; why not, when it cannot be.
std::optional<std::string> read_stored(const std::string& path, std::string& why) {
    platform::Fd fd = open_served_file(path, O_RDONLY | O_NONBLOCK);
    if (!fd.valid()) {
        why =
            errno == EXDEV ? "a link there leads outside the served folder" : "no such stored file";
        return std::nullopt;
    }
    platform::File file;
    std::optional<std::string> bytes;
    if (file.adopt(fd.release(), platform::Access::Read, platform::Share::DenyWrite)) {
        bytes.emplace();
        while (auto piece = file.read(kLoadPieceSize * 64)) {
            *bytes += *piece;
            if (piece->empty()) break;
        }
    }
    if (!bytes)
        why = "the file cannot be read";
    else if (!decode_header(*bytes))
        why = "not a stored file";
    else
        return bytes;
    return std::nullopt;
}

void load_file(int port, const std::string& name) {
    const std::string path = served_path(name);
    std::string why;
    const auto bytes = read_stored(path, why);
    if (!bytes) return refuse(port, name, why);
    const auto header = decode_header(*bytes);
    send_ok(port);
    send_fields(port, *header);  // the bytes at offsets 6 to 12, unchanged
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const std::string what = "The Load of " + shown_name(name);
    abandon_if_esc(what);
    // What the file holds, which may be less than the header announces; in pieces, so that the
    // window shows how far it has come and stays responsive meanwhile.
    const std::string_view data = std::string_view(*bytes).substr(kStoredHeaderSize);
    // Sent, not received: the line (a socket, a relay) may still hold what it has taken.
    Progress progress(platform::translated("Progress", "Loading %1").arg(shown_name(name)),
                      data.size(), platform::translated("Progress", "bytes sent"));
    for (std::size_t sent = 0; sent < data.size();) {
        const std::string_view piece = data.substr(sent, kLoadPieceSize);
        abandon_if_esc(what);
        send_unless_esc(port, piece, what);
        sent += piece.size();
        progress.advance(sent);
        gui::SYSREFRESH();
    }
    log_outcome(shown_name(name) + ": " +
                counted(bytes->size() - kStoredHeaderSize, "byte", "bytes") + " sent");
}

}  // namespace

void LOAD(int port) {
    const std::string name = wait_name();
    abandon_if_esc_interrupted(port, "The Load of " + shown_name(name));
    if (refused_name(port, name)) return;
    if (name.find_first_of("*?") != std::string::npos)
        return refuse(port, name, "a Load names one file, not a pattern");
    if (is_folder_request(name)) return load_folder(port, name);
    load_file(port, name);
}

}  // namespace kv::core
