#pragma once
// Small pieces that the command handlers share.
#include <string>
#include <string_view>

#include "core/log.h"
#include "core/protocol.h"
#include "core/receive.h"
#include "core/serial.h"
#include "core/served_folder.h"

namespace kv::core {

// A name whose last character is "/" names a folder.
inline bool is_folder_request(const std::string& name) {
    return !name.empty() && name.back() == '/';
}
inline std::string without_trailing_slash(const std::string& name) {
    return name.substr(0, name.size() - 1);
}
// The folder a folder request names, inside the served tree: "/" alone names the root.
inline std::string requested_folder(const std::string& name) {
    const std::string folder = without_trailing_slash(name);
    return served_path(folder.empty() ? "/" : folder);
}

// Acceptance: the status byte 0x00.
inline void send_ok(int port) {
    SENDERR(port, kStatusOk);
}

// A refusal: the status byte, and (verbose) "NAME: refused, <why>" in the log.
inline void refuse(int port, const std::string& name, const std::string& why,
                   int status = kStatusRefused) {
    SENDERR(port, status);
    log_outcome(shown_name(name) + ": refused, " + why);
}

// A name or pattern longer than any path on disk (PATH_MAX with its NUL) names nothing; it is
// refused before any work on it.
constexpr std::size_t kLongestPath = 4095;
inline bool longer_than_a_path(const std::string& name) {
    return name.size() > kLongestPath;
}
// A name or pattern from the device: one byte more than a path can hold is kept, enough to know
// it is too long; the rest up to the CR is read and dropped.
inline std::string wait_name() {
    return WAITSTRING(kLongestPath + 1);
}

// Esc ended a wait of the command: the device is refused (when the line takes the status) and
// the command abandoned, logged as `what` ("The Load of NAME") "was abandoned: Esc was pressed.".
inline void abandon_if_esc_interrupted(int port, const std::string& what) {
    if (!esc_interrupted()) return;
    try {
        SENDERR(port, kStatusRefused);
    } catch (const Abandoned&) {
        // Esc still held: the status is not sent, the command is abandoned all the same.
    }
    abandon_if_esc(what);
}

// Sends a piece of the command's answer; Esc held meanwhile abandons the command as `what`.
inline void send_unless_esc(int port, std::string_view bytes, const std::string& what) {
    try {
        SENDSTR(port, bytes);
    } catch (const Abandoned&) {
        abandon_if_esc(what);
        throw;
    }
}

// The refusals every named command shares: no name, or one that no file can have.
inline bool refused_name(int port, const std::string& name) {
    if (name.empty()) {
        refuse(port, name, "no name was given");
        return true;
    }
    if (holds_nul(name)) {
        refuse(port, name, "a name cannot hold a NUL byte");
        return true;
    }
    if (longer_than_a_path(name)) {
        refuse(port, name, "longer than a path can be");
        return true;
    }
    return false;
}

}  // namespace kv::core
