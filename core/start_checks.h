#pragma once
// Checks made once at start-up, before the device is served: the settings file must be one, and
// a served folder that cannot take new files is worth a warning.
#include <string>

namespace kv::core {

// True when the settings file (relative to the start folder) may be read: it is missing or it
// is not a stored file. A settings file that begins with the stored-file mark was written by a
// device, not by the user: the user is told why KV32 does not start, and the answer is false.
// A usable settings file is protected from the device (see protect_settings_file).
bool settings_file_usable(const std::string& settings_file);

// The warning for a served folder in which no new file can be made (read-only, or without
// write permission for this user); "" when it can take new files.
std::string served_folder_warning(const std::string& folder);

}  // namespace kv::core
