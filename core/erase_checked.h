#pragma once
// Erasing one stored file only while its name still leads to the file that was checked: the
// device's Erase and the desk's Elimina share it.
#include <string>

namespace kv::core {

enum class Erased { Yes, NotStored, Kept };

// Erases the entry `name` of the folder open at `folder` (`path`: its path in the served tree)
// when it is a stored file that is not held open elsewhere, never through a link; `why` says why
// a stored file (or a link to one) was kept.
Erased erase_checked(int folder, const std::string& path, const std::string& name,
                     std::string& why);

}  // namespace kv::core
