#include "tables/view_request.h"

#include "platform/files.h"
#include "platform/profile_file.h"
#include "util/file_names.h"

namespace kv::db {
namespace {

std::string yes_no(bool flag) {
    return flag ? "S" : "N";
}

bool is_lock_area(const ViewRequestArea& area) {
    return platform::names_equal_ignoring_case(area.alias, "TALPLOCK");
}

std::string full_upper_path(const std::string& name) {
    return platform::to_upper_name(platform::full_path_name(name).value_or(name));
}

// A copy of the bag under its bare name in the current folder, made when no such file exists,
// for a server that cannot reach the bag where it is. The copy may fail (the bag is open for
// writing here): the request names the bag as it is open, which the server tries first.
void copy_to_current_folder(const std::string& bag) {
    const std::string bare = platform::file_part(bag);
    if (!platform::file_exists(bare))
        platform::copy_file(bag, bare, true, platform::NameCase::Setting);
}

class RequestWriter {
  public:
    explicit RequestWriter(std::string file) : file_(std::move(file)) {}
    void put(const std::string& section, const std::string& key, const std::string& value) {
        ok_ = ok_ && platform::write_profile_string(section, key, value, file_);
    }
    bool ok() const { return ok_; }

  private:
    std::string file_;
    bool ok_ = true;
};

}  // namespace

std::string view_tag(int area) {
    return std::string(1, util::TEMPORARY_MARK) + "VIEW" + std::to_string(area);
}

bool write_view_request(const std::string& base, const ViewRequest& request) {
    const std::string draft = base + ".TMP";
    RequestWriter out(draft);
    out.put("Command", "Command", "SETVIEW");
    for (const auto& area : request.areas) {
        if (is_lock_area(area)) continue;
        const std::string i = std::to_string(area.number);
        out.put("Table", "Table" + i, full_upper_path(area.table));
        out.put("Alias", "Alias" + i, area.alias);
        for (std::size_t k = 0; k < area.bags.size(); ++k) {
            copy_to_current_folder(area.bags[k]);
            out.put("Index" + i, "Index" + std::to_string(k + 1), area.bags[k]);
        }
    }
    out.put("Select", "Alias", request.select_alias);
    out.put("Order", "OrdTag", view_tag(request.view_area));
    out.put("Order", "OrdKey", request.key);
    out.put("Order", "OrdFor", request.filter_text);
    out.put("Order", "OrdCur", yes_no(request.current_order));
    out.put("Order", "OrdUni", yes_no(request.unique));
    if (out.ok() && platform::move_file(draft, base + ".INI", platform::NameCase::Setting))
        return true;
    platform::delete_file(draft);
    return false;
}

}  // namespace kv::db
