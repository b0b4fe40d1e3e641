#pragma once
// File-name checks and the library's temporary names.
#include <string>

#include "util/wall_clock.h"

namespace kv::util {

// Every temporary file or folder the library makes has a name beginning with this character; the
// start-up clean-up finds leftovers by it alone.
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

}  // namespace kv::util
