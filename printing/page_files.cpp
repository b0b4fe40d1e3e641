#include "printing/page_files.h"

#include <filesystem>

#include "util/file_names.h"

namespace kv::printing {

int remove_stale_page_files(const std::string& root) {
    namespace fs = std::filesystem;
    int removed = 0;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(
             root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_symlink(ec) || !it->is_regular_file(ec)) continue;
        const std::string name = it->path().filename().string();
        if (!util::page_file_owner(name) ||
            !util::is_stale_temporary(it->path().parent_path().string(), name))
            continue;
        std::error_code gone;
        if (fs::remove(it->path(), gone)) ++removed;
    }
    return removed;
}

}  // namespace kv::printing
