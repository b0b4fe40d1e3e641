#pragma once
// The request file with which a view index is asked of the maintenance server: a profile file
// "CMD_" + temporary name + ".TMP", renamed to ".INI" once complete.
#include <string>
#include <vector>

namespace kv::db {

struct ViewRequestArea {
    int number = 0;     // work area, 1 to 65533
    std::string table;  // path of the table open there
    std::string alias;
    std::vector<std::string> bags;  // paths of its open order bags, in order
};

struct ViewRequest {
    std::vector<ViewRequestArea> areas;  // the open work areas, in number order
    std::string select_alias;            // alias of the current work area
    int view_area = 0;                   // work area the view is for
    std::string key;
    std::string filter_text;
    bool current_order = false;  // built from the records of the current order
    bool unique = false;         // only the first record of each key
};

// The view order's name for a work area: the temporary mark + "VIEW" + n.
std::string view_tag(int area);

// Writes the request under base + ".TMP" (base such as "./CMD_" + temporary name) and renames it
// to base + ".INI". Each bag is named as it is open, and copied into the current folder where no
// file of its bare name exists. The area whose alias is TALPLOCK is left out. False when a line
// cannot be written or the rename fails (the ".TMP" file is then erased).
bool write_view_request(const std::string& base, const ViewRequest& request);

}  // namespace kv::db
