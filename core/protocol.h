#pragma once
// The device protocol's fixed values: the stored-file header, command letters and status bytes.
#include <chrono>
#include <cstdint>
#include <string_view>

namespace kv::core {

// Status bytes of the PC's answers.
constexpr std::uint8_t kStatusOk = 0x00;
constexpr std::uint8_t kStatusRefused = 15;
constexpr std::uint8_t kStatusBadFolderLength = 26;

// The byte with which strings from the device end.
constexpr char kCarriageReturn = '\r';

// Time a single byte from the device may take.
constexpr std::chrono::seconds kByteTimeout{2};

// An abandoned command's remaining bytes are read and dropped until the line has been quiet this
// long; only then does the wait for the next command begin.
constexpr std::chrono::milliseconds kQuietAfterAbandon{250};

// Stored files: "KVFILE", the kind byte, param1, length and param2 (16-bit, low byte first).
constexpr std::string_view kStoredFileMagic = "KVFILE";
constexpr std::size_t kStoredHeaderSize = 13;

}  // namespace kv::core
