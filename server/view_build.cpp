// SETVIEW: the view's index built through the table engine, from the tables, aliases, bags and
// order that the request file describes. Every table and bag named lies inside the share's root,
// and the result is a new file of the served folder, never one that was already there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <memory>

#include "db/db_errors.h"
#include "db/work_areas.h"
#include "fs/profile.h"
#include "platform/files.h"
#include "server/servergo.h"
#include "server/share_root.h"
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

// The name with the extension the engine gives a name that has none.
std::string with_default_extension(const std::string& name, const char* extension) {
    return platform::file_part(name).find('.') == std::string::npos ? name + extension : name;
}

// A file that no command may open: waiting for it would hold the server for ever.
const std::string& usable(const std::string& path) {
    if (const std::string why = reserved_file(path); !why.empty()) throw CommandRefused(why);
    return path;
}

// The files a build opened, found beneath the share's root: held until the tables are closed,
// since the engine reaches them through the folders held here.
using Held = std::deque<ConfinedFile>;

// A name found inside the share's root, or the command is refused. A name inside the root that
// leads to nothing is held as its path, so that the engine's open fails and says so as always.
const ConfinedFile& inside_root(const std::string& name, Held& held) {
    std::string why;
    auto found = open_confined(name, &why);
    if (!found) {
        const auto path = confined_path(name);
        if (!path || platform::path_exists(*path)) throw CommandRefused(why);
        found.emplace();
        found->path = *path;
    }
    usable(found->path);
    held.push_back(std::move(*found));
    return held.back();
}

// The engine opened something else than what was found (a name swapped meanwhile).
[[noreturn]] void swapped(const std::string& name) {
    throw CommandRefused(name + " changed while it was opened");
}

// A table and the memo files beside it, which the engine opens by the table's name.
const ConfinedFile& table_inside_root(const std::string& name, Held& held) {
    const std::string written = with_default_extension(name, ".DBF");
    const ConfinedFile& table = inside_root(written, held);
    const std::size_t at = held.size() - 1;
    const std::string stem = table.path.substr(0, table.path.rfind('.'));
    for (const char* memo : {".DBT", ".FPT"})
        if (platform::path_exists(stem + memo))
            inside_root(written.substr(0, written.rfind('.')) + memo, held);
    return held[at];
}

// Opens one [Table] entry in its work area under its alias and attaches its bags: each as
// written when such a file exists inside the root, otherwise under its bare name (the writer
// copies every bag into the current folder under that name). Each is opened through the folder
// found beneath the root, and checked to be the file found there.
void open_area(const std::string& request, const std::string& table_key, const std::string& alias,
               Held& held) {
    const int area = leading_number(table_key.size() > 5 ? table_key.substr(5) : std::string());
    if (!db::work_areas().select(area))
        throw util::Abandon("the request names work area " + table_key.substr(5));
    const std::string written = fs::GETPVPROFSTRING("Table", table_key, "", request);
    const std::size_t at = held.size();
    table_inside_root(written, held);
    db::DBOPEN(false, "", held[at].path, alias, true, false);
    if (db::work_areas().table() && !held[at].same_file(db::work_areas().table()->fd()))
        swapped(written);
    const std::string section = "Index" + std::to_string(area);
    for (const auto& index_key : fs::GETPVPROFSECTION(section, request)) {
        const std::string bag =
            with_default_extension(fs::GETPVPROFSTRING(section, index_key, "", request), ".NTX");
        const auto as_written = confined_path(bag);
        const ConfinedFile& found = inside_root(
            as_written && platform::file_exists(*as_written) ? bag : platform::file_part(bag),
            held);
        db::ORDADD(found.path);
        if (!found.still_there()) swapped(bag);
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

// A folder of the server's own in the served folder, where the result is built out of reach of
// the other writers of the folder; removed with what is left in it.
class PrivateFolder {
  public:
    PrivateFolder() {
        std::string name = ".kvserver-XXXXXX";
        if (::mkdtemp(name.data())) path_ = platform::current_folder() + "/" + name;
    }
    ~PrivateFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// Puts the built file in place under a name that nothing holds: a link to it is created
// exclusively, so that a file or link planted meanwhile is neither replaced nor written through.
void publish(const std::string& built, const std::string& name) {
    if (::link(built.c_str(), name.c_str()) == 0) return;
    const int error = errno;
    if (error == EEXIST) throw CommandRefused(name + " appeared while the view was built");
    // A file system without hard links: a rename that does not replace.
    if (::renameat2(AT_FDCWD, built.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) return;
    throw util::Abandon("the view cannot be put in place as " + name + ": " + std::strerror(errno));
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

    // Whatever holds the result's name goes first (a link is removed, not followed).
    if (::unlink(bag.c_str()) != 0 && errno != ENOENT)
        throw util::Abandon("cannot remove the old " + bag + ": " + std::strerror(errno));
    PrivateFolder folder;
    if (folder.path().empty())
        throw util::Abandon(std::string("cannot build the view here: ") + std::strerror(errno));
    const std::string built = folder.path() + "/" + bag;
    {
        Held held;
        const TablesClosed closed;
        for (std::size_t i = 0; i < tables.size(); ++i) {
            // Aliases pair with the tables by position, as the writer puts them in the same order.
            const std::string alias =
                i < aliases.size() ? fs::GETPVPROFSTRING("Alias", aliases[i], "", request) : "";
            open_area(request, tables[i], alias, held);
        }
        if (!db::work_areas().select(std::string_view(select)))
            throw util::Abandon("no table of the request has the alias " + select);
        db::Table& table = *db::work_areas().table();
        db::BuildConditions conditions;
        conditions.for_text = "!DELETED()";
        conditions.for_function = filter_of(for_text, table, bag);
        conditions.current_order_only = current;
        table.set_build_conditions(std::move(conditions));
        db::ORDBUILD(built, tag, key, {}, unique);
    }
    if (!platform::file_exists(built)) return "no view built";
    publish(built, bag);
    return "view built in " + bag;
}

}  // namespace kv::server
