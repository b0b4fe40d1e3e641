#pragma once
// File-name checks and the library's temporary names.
#include <optional>
#include <string>
#include <string_view>

#include "util/wall_clock.h"

namespace kv::util {

// Every temporary file or folder the library makes has a name beginning with this character. A
// device may store names that begin with it too: the start-up clean-up goes by the whole forms of
// KV32's own names (is_stale_temporary), never by the mark alone.
inline constexpr char TEMPORARY_MARK = '\x7f';

// True when the name (blanks around it ignored) is acceptable as the 8-character part of a short
// file name.
bool FNAME(const std::string& name);
// True when the name (blanks around it ignored) is acceptable as a long file name.
bool LFNFNAME(const std::string& name);

// The temporary name of a moment: the mark, the date as YYYYMMDD and the hundredths of a second
// since midnight, rounded, without leading zeros.
std::string temporary_name(const LocalDateTime& moment);
// A new temporary name: waits for the clock to pass to the next hundredth of a second, so two
// calls never return the same name.
std::string GETNEWFNAME();

// A print job's page file: after the mark come the process id, the job's number in that process
// and the page number, so that two copies of the program serving one folder never share a name,
// and a file whose process has ended can be told from one that a running job still needs.
struct PageFileOwner {
    long pid = 0;
    long job = 0;
    long page = 0;
};
// "\x7f<pid>-<job>-<page>.WMF", without a folder.
std::string page_file_name(long pid, long job, long page);
// Whether a file name (without its folder) is a page file, and then whose it is. Names are
// matched without regard to case.
std::optional<PageFileOwner> page_file_owner(std::string_view file_name);

// True when `name` (in `folder`) is a temporary file or folder that KV32 itself made and that no
// running KV32 still needs, so that the start-up clean-up may remove it. KV32's temporary names:
//  - the mark, YYYYMMDD and the hundredths (temporary_name), with or without an extension, or
//    the same after a word (the views' "\x7fVIEW..."): needed while a KV32 holds it open;
//  - "\x7fKV<pid>_<n>.TMP", a file being written whole, and "\x7f<pid>-<job>-<page>.WMF", a
//    print job's page: needed while the process <pid> runs (unless it is this one, which has
//    made none yet when it starts).
// Anything else that begins with the mark (a device's own file) is never taken for one.
bool is_stale_temporary(const std::string& folder, const std::string& name);

}  // namespace kv::util
