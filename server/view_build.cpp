// SETVIEW: the view's index built through the table engine, from the tables, aliases, bags and
// order that the request file describes.
#include <cctype>
#include <memory>

#include "db/db_errors.h"
#include "db/work_areas.h"
#include "fs/profile.h"
#include "platform/files.h"
#include "server/servergo.h"
#include "tables/tables.h"
#include "util/abandon.h"
#include "xbase/expression.h"

namespace kv::server {
namespace {

// The number that the text begins with (0 when it begins with no digit), as VAL reads it; -1
// past the last work area.
int leading_number(const std::string& text) {
    int number = 0;
    for (std::size_t at = 0; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]));
         ++at) {
        number = number * 10 + (text[at] - '0');
        if (number > db::kMaxWorkArea) return -1;
    }
    return number;
}

// Every table the build opened is closed again, also when the build is abandoned half-way.
struct TablesClosed {
    TablesClosed() = default;
    TablesClosed(const TablesClosed&) = delete;
    TablesClosed& operator=(const TablesClosed&) = delete;
    ~TablesClosed() { db::work_areas().close_all(); }
};

// Opens one [Table] entry in its work area under its alias and attaches its bags: each as
// written when such a file exists, otherwise under its bare name (the writer copies every bag
// into the current folder under that name).
void open_area(const std::string& request, const std::string& table_key, const std::string& alias) {
    const int area = leading_number(table_key.size() > 5 ? table_key.substr(5) : std::string());
    if (!db::work_areas().select(area))
        throw util::Abandon("the request names work area " + table_key.substr(5));
    const std::string table = fs::GETPVPROFSTRING("Table", table_key, "", request);
    db::DBOPEN(false, "", table, alias, true, false);
    const std::string section = "Index" + std::to_string(area);
    for (const auto& index_key : fs::GETPVPROFSECTION(section, request)) {
        const std::string bag = fs::GETPVPROFSTRING(section, index_key, "", request);
        db::ORDADD(platform::file_exists(bag) ? bag : platform::file_part(bag));
    }
}

// The records that take part: those for which the block "{||" + OrdFor + "}" is true; every
// record when the request has no filter.
std::function<bool()> filter_of(const std::string& for_text, db::Table& table,
                                const std::string& bag) {
    if (for_text.empty()) return [] { return true; };
    std::shared_ptr<xbase::Expression> compiled;
    try {
        compiled = std::make_shared<xbase::Expression>(xbase::Expression::compile(for_text, table));
    } catch (const xbase::ExpressionError& error) {
        db::raise(db::kGenArgument, error.what(), bag, "build view");
        throw util::Abandon("the view's filter cannot be compiled: " + for_text);
    }
    return [compiled, &table] {
        const xbase::Value value = compiled->evaluate(table);
        const bool* passes = std::get_if<bool>(&value);
        return passes && *passes;
    };
}

// "CMD_" + name + ".INI" gives "CMD_" + name + ".NTX".
std::string result_name(const std::string& command_file) {
    return command_file.substr(0, command_file.rfind('.')) + ".NTX";
}

}  // namespace

std::string build_view(const std::string& command_file) {
    const std::string request = ".\\" + command_file;
    const std::string bag = result_name(command_file);
    const auto tables = fs::GETPVPROFSECTION("Table", request);
    const auto aliases = fs::GETPVPROFSECTION("Alias", request);
    const std::string select = fs::GETPVPROFSTRING("Select", "Alias", "", request);
    const std::string tag = fs::GETPVPROFSTRING("Order", "OrdTag", "", request);
    const std::string key = fs::GETPVPROFSTRING("Order", "OrdKey", "", request);
    const std::string for_text = fs::GETPVPROFSTRING("Order", "OrdFor", "", request);
    const bool current = fs::GETPVPROFSTRING("Order", "OrdCur", "N", request) == "S";
    const bool unique = fs::GETPVPROFSTRING("Order", "OrdUni", "N", request) == "S";

    const TablesClosed closed;
    for (std::size_t i = 0; i < tables.size(); ++i) {
        // Aliases pair with the tables by position, as the writer puts them in the same order.
        const std::string alias =
            i < aliases.size() ? fs::GETPVPROFSTRING("Alias", aliases[i], "", request) : "";
        open_area(request, tables[i], alias);
    }
    if (!db::work_areas().select(std::string_view(select)))
        throw util::Abandon("no table of the request has the alias " + select);
    db::Table& table = *db::work_areas().table();
    db::BuildConditions conditions;
    conditions.for_text = "!DELETED()";
    conditions.for_function = filter_of(for_text, table, bag);
    conditions.current_order_only = current;
    table.set_build_conditions(std::move(conditions));
    db::ORDBUILD(bag, tag, key, {}, unique);
    return platform::file_exists(bag) ? "view built in " + bag : "no view built";
}

}  // namespace kv::server
