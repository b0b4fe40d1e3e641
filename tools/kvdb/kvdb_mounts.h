#pragma once
// Mounts whose options keep byte-range locks on this machine: a table there is not protected
// from programs on other PCs, and two processes on one machine cannot notice it.
#include <optional>
#include <string>

namespace kv::kvdb {

// The warning for a file at that absolute path, given a mount table in the layout of
// /proc/self/mountinfo: a CIFS mount with nobrl, an NFS mount with nolock or local_lock=all (or
// posix); nullopt when the file's mount passes locks on.
std::optional<std::string> local_lock_warning(const std::string& path,
                                              const std::string& mount_table);
// The same for this process's mount table.
std::optional<std::string> local_lock_warning(const std::string& path);

}  // namespace kv::kvdb
