#pragma once
// The commands of kvdb and what they share.
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "db/dbf_table.h"
#include "util/error_record.h"

namespace kv::kvdb {

struct Command {
    std::string name;
    std::vector<std::string> arguments;  // after the command word
    std::ostream* out = nullptr;
    std::ostream* err = nullptr;
};

// Wrong usage (exit 2) and a plain failure (exit 1).
using UsageError = cli::UsageError;
class Failure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

using Handler = std::function<int(Command&)>;
Handler find_command(const std::string& name);

// The text of a field of the current record as dump writes it.
std::string field_text(const db::Table& table, int index, bool raw);
// An error record as one line: its description, the file and the system's reason.
std::string error_text(const util::ErrorRecord& record);
// A command-line value for a field of that type (text as stored: see stored_text); nullopt with
// the reason.
std::optional<db::Value> parse_value(char type, const std::string& text, std::string& error);

// The code page of the table's text (kvdb_values.cpp): --codepage when given, otherwise the one
// its header names (Windows-1252 for a mark not known).
void set_code_page_override(std::optional<int> code_page);
std::optional<int> code_page_override();
int text_code_page(const db::Table& table);
// Stored text (a value, a field name) as UTF-8.
std::string shown_text(const db::Table& table, std::string_view stored);
// UTF-8 text as the table stores it; fails, naming `what`, when it is not UTF-8 or holds a
// character that the table's code page lacks.
std::string stored_text(const db::Table& table, const std::string& utf8, const std::string& what);
// A double with every digit it has, and at least the decimals given.
std::string double_text(double value, int decimals);

// A value checked against its field, ready to be written: nothing is written before every value
// of a command is checked.
struct CheckedValue {
    int index = 0;
    db::Value value;                     // C, M, D and L fields
    std::optional<std::string> decimal;  // N and F fields: the stored text, rounded
};
// Checks UTF-8 text for a field: nullopt with the reason when the field cannot store it as given
// (text longer than the field, not UTF-8, a character the code page lacks, a memo holding the
// byte that ends texts in its memo file, a number too wide).
std::optional<CheckedValue> check_value(db::Table& table, int index, const std::string& text,
                                        std::string& error);
bool put_checked(db::Table& table, const CheckedValue& checked);
// The field of that name (UTF-8), in any case.
std::optional<int> find_field(const db::Table& table, const std::string& name);
// NAME=VALUE arguments (names in any case) checked; fails naming the field.
std::vector<CheckedValue> check_assignments(db::Table& table,
                                            const std::vector<std::string>& pairs);

// The stored text of a number for an N or F field, every digit kept; nullopt with the reason
// (not a number, or too wide for the field).
std::optional<std::string> number_text(const std::string& text, const db::FieldSpec& spec,
                                       std::string& error);

// Options after the positional arguments: "--name value" pairs and "--flag" switches.
struct Options {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> values;
    std::vector<std::string> flags;
    std::optional<std::string> value(const std::string& name) const;
    std::vector<std::string> all(const std::string& name) const;
    bool flag(const std::string& name) const;
};
Options parse_options(const std::vector<std::string>& arguments,
                      const std::vector<std::string>& with_value,
                      const std::vector<std::string>& switches);

// Tries until the attempt succeeds or the patience for other programs' locks runs out; error
// records that allow a quiet failure are answered quietly meanwhile.
bool patiently(const std::function<bool()>& attempt);

// update, delete, recall and import (kvdb_edit.cpp).
int command_edit(Command& command);

// Opens a table or fails with the reason.
std::unique_ptr<db::Table> open_table(const std::string& name, bool shared, bool read_only);

// Index commands (kvdb_index.cpp).
int command_index(Command& command);
int command_seek(Command& command);
int command_reindex(Command& command);
// Opens the bags of a table: those named, or the table's own T.NTX / T.CDX when none is named;
// the descriptions of every tag for info.
// Without notice, bags that may disagree with the table open quietly (zap and pack build every
// tag again).
void open_bags(db::Table& table, const std::vector<std::string>& bags, bool implicit,
               bool notice = true);
std::vector<std::string> tag_descriptions(db::Table& table);
// Sets the order named "BAG:TAG" current; fails when there is none.
void select_order(db::Table& table, const std::string& bag_and_tag);
// Faults of every open tag, one line each.
std::vector<std::string> check_tags(db::Table& table);
// A filter compiled over the table; nullptr for the empty text.
std::function<bool()> compile_filter(db::Table& table, const std::string& text);

}  // namespace kv::kvdb
