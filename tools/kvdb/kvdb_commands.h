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
// A command-line value for a field of that type; nullopt with the reason.
std::optional<db::Value> parse_value(char type, const std::string& text, std::string& error);

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
