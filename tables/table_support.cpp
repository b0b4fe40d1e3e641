#include "tables/table_support.h"

#include <map>
#include <string>

#include "db/work_areas.h"
#include "platform/files.h"
#include "util/abandon.h"
#include "util/error_record.h"
#include "util/startup.h"

namespace kv::db {

bool network_try(const std::function<bool()>& operation) {
    util::NETERR(false);
    const bool done = operation();
    if (done && !util::NETERR()) return true;
    if (!util::NETERR()) throw util::Abandon("table operation failed");
    return false;
}

Table& current_table() {
    Table* table = work_areas().table();
    if (!table) throw util::Abandon("no table in the current work area");
    return *table;
}

bool table_password_applies(const std::string& table_file) {
    const auto& state = util::library_state();
    if (state.table_password.empty()) return false;
    if (state.protected_tables.empty()) return true;
    const std::string name = platform::file_part(table_file);
    for (const auto& listed : state.protected_tables) {
        if (platform::names_equal_ignoring_case(with_extension(listed, ".DBF"),
                                                with_extension(name, ".DBF"))) {
            return true;
        }
    }
    return false;
}

namespace {

std::map<std::string, std::string>& handed_passwords() {
    static std::map<std::string, std::string> passwords;
    return passwords;
}

}  // namespace

void apply_table_password(const Table& table) {
    if (table_password_applies(table.file_name())) {
        handed_passwords()[table.file_name()] = util::library_state().table_password;
    } else {
        handed_passwords().erase(table.file_name());
    }
}

std::string table_password(const std::string& table_file) {
    const auto found = handed_passwords().find(table_file);
    return found == handed_passwords().end() ? std::string() : found->second;
}

}  // namespace kv::db
