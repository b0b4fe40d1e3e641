#pragma once
// The clean-up of page files (util::page_file_name gives their form).
#include <string>

namespace kv::printing {

// Removes the page files under `root` (its whole tree) whose process no longer runs, and those
// that carry this process's id (it has recorded none yet when it starts). Another running job's
// files are left alone. Returns the number removed; failures are ignored.
int remove_stale_page_files(const std::string& root);

}  // namespace kv::printing
