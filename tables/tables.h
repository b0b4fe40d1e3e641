#pragma once
// The library's table functions for copies of the program that share one folder of tables:
// opening, locking and appending that wait as long as needed and say why in the status pop-up,
// deleting that keeps the browse position, views (a temporary index per work area in the login
// folder), packing through a temporary copy, and key searches for table browses.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "db/dbf_layout.h"
#include "db/language.h"
#include "gui/browse.h"

namespace kv::db {

using gui::Browse;

// Opens a table in the current work area (in the first free one with new_area), shared or
// exclusive; waits with a status pop-up while another copy holds it the other way, and returns
// once it is open. The driver is always the default one. A failure other than another copy's
// hold goes to the error handler; when the handler lets it pass, the operation is abandoned.
void DBOPEN(bool new_area, const std::string& driver, const std::string& table,
            const std::string& alias = "", bool shared = true, bool read_only = false);
// Closes the table of the work area with that alias (the current one when empty) and erases its
// view index; the current work area stays. Nothing when no area has the alias.
void DBCLOSE(const std::string& alias = "");
// Takes the record lock (true) or the file lock (false) of the current table; waits until held.
void DBLOCK(bool record);
// Appends a blank record to the current table and locks it; waits until done.
void DBAPP();
// Deletes the current record and moves to the one that follows it in the current order (end of
// file after the last); nothing at end of file. With commit the deletion is written at once.
void DBDEL(bool commit = true);
// Asks "Confermi la cancellazione?" and deletes the current record; true when it did. At end of
// file it beeps and answers false.
bool DELREC();
// Removes every record of the current table; the orders and their scopes stay.
void DBZAP();
// Creates a table after checking that its folder has room for bytes; abandons when it has not.
void DBGEN(const std::string& table, const std::vector<FieldSpec>& fields,
           const std::string& driver = "", std::uint64_t bytes = 8192);
// True when another program holds the table (".DBF" added to a name without extension).
bool NETUSED(const std::string& table);
// The next value of the field CODICE: one more than the last non-empty one in natural order,
// modulo 10,000,000,000, as text. With lock the file lock is taken and the noted record locked
// at the end; otherwise every lock is released.
std::string NEXTCODE(bool lock = true);
// The number of keys: of the first order within the current order's scope (first), or of the
// current order within its scope.
long TOTREC(bool first = true);

// Order bags (".NTX" added to a bag name without extension).
void ORDADD(const std::string& bag);
// Builds a tag in a bag from a key expression (key_function computes it instead).
void ORDBUILD(const std::string& bag, const std::string& tag, const std::string& key,
              const std::function<Value()>& key_function = {}, bool unique = false);
// The bag file of an order (from 1); "" when there is none.
std::string ORDBAGNAME(int order);
// The bag names of the open orders, 1, 2, ... up to the first empty one.
std::vector<std::string> ORDLIST();
// The bag names of the open orders except the bag named (compared by full path, upper case).
std::vector<std::string> ORDLIST(const std::string& bag);
// Opens each bag in turn; returns an empty list.
std::vector<std::string> ORDLIST(const std::vector<std::string>& bags);

// What a view takes in and how it is made.
struct ViewOptions {
    std::function<bool()> filter;  // decides which records take part; none: every record
    std::string filter_text;       // the filter as text (for the server)
    std::string key;               // empty: the current order's key, or RECNO()
    std::optional<bool> quiet;     // no "Elaborazione in corso..." (default: a pop-up is up)
    bool unique = false;
    bool current_order = false;  // only the records of the current order take part
    bool keep_saved = false;     // keep the saved order of this work area as it is
    bool server = false;         // ask the maintenance server when it runs here
};
// Sets a view on the current work area: a temporary index of the records that pass the filter.
void DBSETVIEW(const ViewOptions& options);
// Removes the view of the current work area and makes current the saved order (or, with restore,
// the order that was current).
void DBCLEARVIEW(bool restore = false);
// Tells DBSETVIEW whether the maintenance server runs on this machine (none: the server runs
// when the current folder's SERVER.EXE is held open, as ISSERVERRUNNING finds).
void set_maintenance_server_probe(std::function<bool()> probe);
// The view index of a work area: login folder + temporary mark + "VIEW" + n + ".NTX".
std::string view_index_name(int area);

// Rewrites the table without its deleted records, under the system lock; abandons on failure,
// leaving the table as it was.
void MPACK_(const std::string& table);

// Key searches for a table browse: jump to the record whose key begins with the typed letter.
void KEYSEEK(Browse& browse, int key, const std::string& prefix = "");
// As KEYSEEK, for the key given or the one pressed last (none: no search).
void KEYSEARCH(Browse& browse, std::optional<int> key, const std::string& prefix = "");
// As KEYSEEK, with a key expression of its own.
void KEYLOCATE(Browse& browse, int key, const std::string& expression);

// An alias for the first free work area: "ALIAS" + its number in three digits.
std::string GETNEWALIAS();

}  // namespace kv::db
