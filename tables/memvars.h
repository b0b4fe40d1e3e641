#pragma once
// The program's memory variables, public and private, kept by name, and the memory-variable file
// of the dBASE family in which a set of them is saved.
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/language.h"

namespace kv::db {

using NamedValue = std::pair<std::string, Value>;

// Names are matched without regard to case and kept in upper case; as in the file format, only
// their first 10 characters count.
class MemoryVariables {
  public:
    // Creates or changes a variable.
    void set(const std::string& name, Value value);
    // A variable's value; none when there is no such variable.
    std::optional<Value> get(const std::string& name) const;
    // Removes a variable; false when there was none.
    bool erase(const std::string& name);
    // The variables whose names begin with the prefix (ignoring case), in name order.
    std::vector<NamedValue> with_prefix(const std::string& prefix) const;

  private:
    std::map<std::string, Value> values_;
};

// The process's variables (GUI thread only).
MemoryVariables& memory_variables();

// Keeps the process's variables as they are and puts them back at the end of the scope (tests).
class ScopedMemoryVariables {
  public:
    ScopedMemoryVariables() : saved_(memory_variables()) {}
    ~ScopedMemoryVariables() { memory_variables() = saved_; }
    ScopedMemoryVariables(const ScopedMemoryVariables&) = delete;
    ScopedMemoryVariables& operator=(const ScopedMemoryVariables&) = delete;

  private:
    MemoryVariables saved_;
};

// The bytes of a memory-variable file holding the variables in the order given: for each one a
// 32-byte descriptor (name of at most 10 characters, type letter with its top bit set, length and
// decimals) and its value, then one 0x1A. Character values end in a NUL that their length counts;
// numbers and dates are little-endian doubles (dates as Julian day numbers, 0 for the empty date);
// logicals one byte 1 or 0. Nothing when a value cannot be stored: NIL, a character value of
// 65,535 bytes or more, or an empty name. Longer names are cut to 10 characters.
std::optional<std::string> memory_file_bytes(const std::vector<NamedValue>& variables);

// Writes the variables to the file at once (never half a file under its name); false when a
// value cannot be stored or the file cannot be written.
bool save_memory_file(const std::string& file, const std::vector<NamedValue>& variables);

}  // namespace kv::db
