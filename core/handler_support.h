#pragma once
// Small pieces that the command handlers share.
#include <string>

#include "core/protocol.h"
#include "core/receive.h"
#include "core/serial.h"

namespace kv::core {

// A name whose last character is "/" names a folder.
inline bool is_folder_request(const std::string& name) {
    return !name.empty() && name.back() == '/';
}
inline std::string without_trailing_slash(const std::string& name) {
    return name.substr(0, name.size() - 1);
}

// Acceptance: the status byte 0x00.
inline void send_ok(int port) {
    SENDERR(port, kStatusOk);
}

}  // namespace kv::core
