#pragma once
// Stored files: the 13-byte header ("KVFILE", kind byte, param1, length, param2, each number
// 16-bit low byte first) followed by the data bytes exactly as the device sent them.
#include <cstdint>
#include <optional>
#include <string>

namespace kv::core {

struct StoredHeader {
    std::uint8_t type = 0;  // 0: a program ("BAS"); anything else: code ("CDE")
    std::uint16_t param1 = 0;
    std::uint16_t length = 0;  // the number of data bytes the device announced
    std::uint16_t param2 = 0;
};

// The 13 header bytes.
std::string encode_header(const StoredHeader& header);
// The seven bytes after the magic: type, param1, length, param2.
std::string encode_fields(const StoredHeader& header);
// The header of a stored file's first bytes; nothing unless they hold the magic and all 13 bytes.
std::optional<StoredHeader> decode_header(const std::string& bytes);

// Names inside the served tree are opened beneath the served root (core/served_folder.h), a link
// followed only by its rule; other names as given.
// True when the file can be opened for reading with exclusive access and begins with "KVFILE".
bool ISKV(const std::string& name);
// The header of a stored file, reading its 13 header bytes only (opened as ISKV does); nothing
// when it is not a stored file or is shorter than its header.
std::optional<StoredHeader> read_stored_header(const std::string& name);
// The header of the stored file open at a descriptor (read from its start, the position kept).
std::optional<StoredHeader> read_stored_header(int fd);

}  // namespace kv::core
