#pragma once
// The device's side of KV32's disk commands: Save, Load, Erase and Catalogue, and the folder
// requests made with them (a name ending in "/").
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/kvdev/link.h"

namespace kv::dev {

constexpr std::uint8_t kOk = 0x00;
constexpr std::uint8_t kRefused = 15;
constexpr std::uint8_t kBadFolderLength = 26;

// The PC did not answer in time, or answered out of the protocol.
class ProtocolError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct FileHeader {
    std::uint8_t type = 3;  // 0: a program; anything else: code
    std::uint16_t param1 = 0;
    std::uint16_t param2 = 0;
};

struct LoadResult {
    std::uint8_t status = kRefused;
    std::uint8_t type = 0;
    std::uint16_t param1 = 0;
    std::uint16_t length = 0;
    std::uint16_t param2 = 0;
    std::string data;  // what came, which may be less than `length`
};

struct Catalogue {
    std::vector<std::string> lines;  // each 32 characters
};

// How long to wait for each answer of the PC.
struct Patience {
    Timeout reply = std::chrono::seconds(10);
    // Silence after which a Load's data is taken as complete (a file that lost bytes when it was
    // saved sends fewer than its header announces).
    Timeout data_idle = std::chrono::seconds(3);
};

// Saves `data` under `name`; returns the status byte. Data is sent only after a 0x00. A
// `length` other than data's size can be announced (the PC then waits for the missing bytes).
std::uint8_t save(DeviceLink& link, const std::string& name, const std::string& data,
                  const FileHeader& header = {}, std::optional<std::uint16_t> length = {},
                  Patience patience = {});
LoadResult load(DeviceLink& link, const std::string& name, Patience patience = {});
std::uint8_t erase(DeviceLink& link, const std::string& pattern, Patience patience = {});
// Lists the folder, acknowledging every line at once.
Catalogue catalogue(DeviceLink& link, const std::string& pattern, Patience patience = {});

// Folder requests: create, enter (".." goes up) and remove a folder.
std::uint8_t make_folder(DeviceLink& link, const std::string& name, Patience patience = {});
std::uint8_t change_folder(DeviceLink& link, const std::string& name, Patience patience = {});
std::uint8_t remove_folder(DeviceLink& link, const std::string& name, Patience patience = {});

// Plain words for a status byte.
std::string status_text(std::uint8_t status);

}  // namespace kv::dev
