#pragma once
// Disk checks that explain themselves: a check that fails releases the system lock (the release
// of util/system_unlock.h), shows its message in an information box and reports the failure.
// DELFILE and DELROOT then abandon the operation in progress (util::Abandon). Places are folders
// ("" = the current folder); there are no drive letters on this system.
#include <cstdint>
#include <string>

namespace kv::util {

// True when the place can be made current ("Disco non pronto." otherwise, when show is true).
bool ISREADY(const std::string& place, bool show = true);
// True when nothing can be written in the place ("Disco protetto da scrittura.").
bool ISPROTECTED(const std::string& place);
// True when the file exists but cannot be opened for writing ("File non accessibile.").
bool ISREADONLY(const std::string& file);
// True when the place lacks room for that many bytes ("Spazio su disco insufficiente."); an empty
// place is never full.
bool ISFULL(const std::string& place, std::uint64_t bytes = 8192);

// Erases the file after checking its folder and the file itself; abandons when a check fails.
void DELFILE(const std::string& file);
// Erases every ordinary file of the folder after the checks; abandons at the first file that
// cannot be written (the files before it are erased by then).
void DELROOT(const std::string& folder);

}  // namespace kv::util
