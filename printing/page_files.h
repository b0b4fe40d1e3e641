#pragma once
// The names of page files. A page file belongs to one page of one print job of one process: after
// the temporary mark come the process id, the job's number in that process and the page number,
// so that two copies of the program serving the same folder never share a name, and a file whose
// process has ended can be told from one that a running job still needs.
#include <optional>
#include <string>
#include <string_view>

namespace kv::printing {

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

// True when a process of that id runs (one that this process may not signal counts as running).
bool process_runs(long pid);

// Removes the page files under `root` (its whole tree) whose process no longer runs, and those
// that carry this process's id (it has recorded none yet when it starts). Another running job's
// files are left alone. Returns the number removed; failures are ignored.
int remove_stale_page_files(const std::string& root);

}  // namespace kv::printing
