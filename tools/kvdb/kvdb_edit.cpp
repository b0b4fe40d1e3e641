// The commands that change records: update, delete, recall and import. Each takes the locks that
// an append takes (a record lock for each record it changes, the append lock for each record it
// adds), keeps every tag of the table's bags, and checks every value before it writes anything.
#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>
#include <iterator>

#include "tools/kvdb/kvdb.h"
#include "tools/kvdb/kvdb_commands.h"
#include "tools/kvdb/kvdb_csv.h"
#include "util/error_record.h"
#include "util/settings.h"

namespace kv::kvdb {
namespace {

constexpr std::size_t kErrorsShown = 10;
constexpr std::size_t kProgressFrom = 1000;  // rows: an import this long tells its progress

std::string records(long count, const char* done) {
    return std::to_string(count) + (count == 1 ? " record " : " records ") + done + "\n";
}

// What a change that failed part-way leaves: the records changed before the failure stay so.
std::string changed_before(long count) {
    if (count == 0) return " (nothing was changed)";
    return count == 1
               ? " (1 record was changed before it and stays changed)"
               : " (" + std::to_string(count) + " records were changed before it and stay changed)";
}

// The records that --for selects, or every one with --all (one of the two is needed).
std::function<bool()> selection(db::Table& table, const Options& options,
                                const std::string& command) {
    const auto text = options.value("--for");
    if (text.has_value() == options.flag("--all"))
        throw UsageError(command + " needs --for EXPR or --all");
    return text ? compile_filter(table, *text) : nullptr;
}

// Changes each record that the filter selects (the deleted ones only when `deleted` asks for
// them, or only they), under its record lock; the condition is asked again once the record is
// locked and read anew. The count changed; a failure names how many were changed before it.
long change_each(db::Table& table, const std::function<bool()>& filter, bool deleted,
                 const std::function<bool()>& change) {
    util::RuntimeSettings& settings = util::settings();
    const bool hide = settings.hide_deleted;
    settings.hide_deleted = false;
    long changed = 0;
    try {
        const long count = table.record_count();
        for (long r = 1; r <= count; ++r) {
            table.go_to(r);
            if (table.eof()) break;
            auto selected = [&] { return table.deleted() == deleted && (!filter || filter()); };
            if (!selected()) continue;
            if (!patiently([&] { return table.lock_record(r); }))
                throw Failure("record " + std::to_string(r) + " stays locked by another program");
            if (selected()) {
                if (!change() || !table.commit()) throw Failure("the record was not written");
                ++changed;
            }
            table.unlock(r);
        }
    } catch (const util::UnhandledError& error) {
        settings.hide_deleted = hide;
        throw Failure(error_text(error.record()) + changed_before(changed));
    } catch (const Failure& failure) {
        settings.hide_deleted = hide;
        throw Failure(std::string(failure.what()) + changed_before(changed));
    }
    settings.hide_deleted = hide;
    return changed;
}

int command_update(Command& command) {
    const Options options = parse_options(command.arguments, {"--for", "--bag"}, {"--all"});
    if (options.positional.size() < 2)
        throw UsageError("update needs a table and at least one NAME=VALUE");
    auto table = open_table(options.positional[0], true, false);
    open_bags(*table, options.all("--bag"), true);
    const auto values =
        check_assignments(*table, {options.positional.begin() + 1, options.positional.end()});
    const auto filter = selection(*table, options, "update");
    const long changed = change_each(*table, filter, false, [&] {
        bool written = true;
        for (const CheckedValue& value : values) written = put_checked(*table, value) && written;
        return written;
    });
    if (!table->close()) return 1;
    *command.out << records(changed, "updated");
    return 0;
}

int command_delete_or_recall(Command& command) {
    const Options options = parse_options(command.arguments, {"--for", "--bag"}, {"--all"});
    if (options.positional.size() != 1) throw UsageError(command.name + " needs a table");
    auto table = open_table(options.positional[0], true, false);
    open_bags(*table, options.all("--bag"), true);
    const bool recall = command.name == "recall";
    const auto filter = selection(*table, options, command.name);
    const long changed = change_each(*table, filter, recall, [&] {
        table->mark_deleted(!recall);
        return true;
    });
    if (!table->close()) return 1;
    *command.out << records(changed, recall ? "recalled" : "deleted");
    return 0;
}

// The input's text: a file, or standard input for "-".
std::string read_input(const std::string& name) {
    if (name == "-") return {std::istreambuf_iterator<char>(std::cin), {}};
    std::ifstream in(name, std::ios::binary);
    if (!in) throw Failure("the file " + name + " cannot be read");
    std::string text{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) throw Failure("the file " + name + " cannot be read");
    return text;
}

// The values of each row checked against the fields the first line names; every fault found,
// each naming its line and field (at most kErrorsShown of them).
struct ImportPlan {
    std::vector<std::vector<CheckedValue>> rows;
    std::vector<bool> deleted;
    std::vector<std::string> faults;
};

ImportPlan plan_import(db::Table& table, const std::vector<CsvRow>& rows) {
    if (rows.empty()) throw Failure("the input is empty: its first line names the fields");
    std::vector<int> columns;  // field index, or -1 for a DELETED column
    for (const std::string& name : rows[0].fields) {
        const auto index = find_field(table, name);
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        const bool deleted_column = !index && upper == "DELETED";
        if (!index && !deleted_column)
            throw Failure("line " + std::to_string(rows[0].line) + ": the table has no field " +
                          name);
        const int column = index.value_or(-1);
        if (std::find(columns.begin(), columns.end(), column) != columns.end())
            throw Failure("line " + std::to_string(rows[0].line) + ": the field " + name +
                          " is named twice");
        columns.push_back(column);
    }
    ImportPlan plan;
    for (std::size_t r = 1; r < rows.size() && plan.faults.size() < kErrorsShown; ++r) {
        const CsvRow& row = rows[r];
        const std::string line = "line " + std::to_string(row.line);
        if (row.fields.size() != columns.size()) {
            plan.faults.push_back(line + ": " + std::to_string(row.fields.size()) +
                                  " values, the first line names " +
                                  std::to_string(columns.size()) + " fields");
            continue;
        }
        std::vector<CheckedValue> values;
        bool deleted = false;
        for (std::size_t c = 0; c < columns.size(); ++c) {
            const std::string& text = row.fields[c];
            if (columns[c] < 0) {
                deleted = text == "T" || text == "t";
                if (!deleted && !text.empty() && text != "F" && text != "f")
                    plan.faults.push_back(line + ", DELETED: \"" + text + "\" is not T or F");
                continue;
            }
            if (text.empty()) continue;  // the field stays blank
            std::string error;
            auto checked = check_value(table, columns[c], text, error);
            if (!checked) {
                plan.faults.push_back(line + ", field " +
                                      shown_text(table, table.field_spec(columns[c]).name) + ": " +
                                      error);
                continue;
            }
            values.push_back(std::move(*checked));
        }
        plan.rows.push_back(std::move(values));
        plan.deleted.push_back(deleted);
    }
    return plan;
}

// What an import that failed at the record of plan row `done` leaves: the records of the lines
// before it stay in the table, and a retry starts after the last of them.
std::string imported_before(const std::vector<CsvRow>& rows, std::size_t done) {
    const std::string failed = std::to_string(rows[done + 1].line);
    if (done == 0) return " (line " + failed + " not imported; nothing was imported)";
    const std::string last = std::to_string(rows[done].line);
    const std::string kept = done == 1 ? "the record of line " + last + " stays"
                                       : "the " + std::to_string(done) +
                                             " records of the lines up to line " + last + " stay";
    return " (line " + failed + " not imported; " + kept +
           " in the table: a retry takes the lines after line " + last + ")";
}

int command_import(Command& command) {
    const Options options = parse_options(command.arguments, {"--bag"}, {});
    if (options.positional.size() != 2)
        throw UsageError("import needs a table and a CSV file (- for standard input)");
    const std::string& source = options.positional[1];
    auto table = open_table(options.positional[0], true, false);
    open_bags(*table, options.all("--bag"), true);
    const std::string where = source == "-" ? "standard input" : source;
    std::vector<CsvRow> rows;
    ImportPlan plan;
    try {
        rows = parse_csv(read_input(source));
        plan = plan_import(*table, rows);
    } catch (const Failure& failure) {
        throw Failure(where + ": " + failure.what());
    }
    if (!plan.faults.empty()) {
        for (const std::string& fault : plan.faults)
            *command.err << "kvdb: " << where << ": " << fault << "\n";
        throw Failure("nothing imported: every line must be right first");
    }
    const std::size_t total = plan.rows.size();
    std::size_t done = 0;
    try {
        for (; done < total; ++done) {
            // Each record reaches the disk with its values, or not at all.
            auto fill = [&] {
                bool filled = true;
                for (const CheckedValue& value : plan.rows[done])
                    filled = put_checked(*table, value) && filled;
                if (plan.deleted[done]) table->mark_deleted();
                return filled;
            };
            if (!patiently([&] { return table->append_with(fill); }))
                throw Failure("the table stays locked by another program");
            table->unlock();
            if (total >= kProgressFrom && (done + 1) % (total / 10) == 0)
                *command.err << "kvdb: " << done + 1 << " of " << total << " records imported\n";
        }
    } catch (const util::UnhandledError& error) {
        throw Failure(error_text(error.record()) + imported_before(rows, done));
    } catch (const Failure& failure) {
        throw Failure(std::string(failure.what()) + imported_before(rows, done));
    }
    if (!table->close()) return 1;
    *command.out << records(static_cast<long>(total), "imported");
    return 0;
}

}  // namespace

int command_edit(Command& command) {
    if (command.name == "update") return command_update(command);
    if (command.name == "import") return command_import(command);
    return command_delete_or_recall(command);
}

}  // namespace kv::kvdb
