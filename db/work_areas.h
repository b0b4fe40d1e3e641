#pragma once
// Work areas: numbered slots 1 to 65534 in which tables are open, each with its alias; one is
// current. Area 65534 is kept for the system lock table by the library's callers.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/dbf_table.h"

namespace kv::db {

inline constexpr int kMaxWorkArea = 65534;

// The process's work areas and the one that is current.
class WorkAreas {
  public:
    // The current area's number.
    int current() const { return current_; }
    // Makes an area current: 1 to 65534, or 0 for the lowest free one. False for other numbers.
    bool select(int area);
    // Makes the area with that alias current (ignoring case); false when there is none.
    bool select(std::string_view alias);
    // The lowest area without a table (0 when all are taken).
    int free_area() const;
    // The table of an area (0: the current one), nullptr when the area is empty.
    Table* table(int area = 0) const;
    // The area holding the table with that alias, ignoring case; none when no area has it.
    std::optional<int> area_of(std::string_view alias) const;
    // The areas that hold a table, in increasing order.
    std::vector<int> used_areas() const;

    // Opens a table in the current area (closing what it held) or, with new_area, in the lowest
    // free area, which becomes current. False when the open failed quietly or the alias is in use
    // in another area (the error record has been raised).
    bool open(const std::string& name, const OpenOptions& options = {}, bool new_area = false);
    // Closes the table of an area (0: the current one); the current area stays as it was.
    void close(int area = 0);
    // Closes every table and selects area 1.
    void close_all();

  private:
    std::map<int, std::unique_ptr<Table>> tables_;
    int current_ = 1;
};

// The process's work areas (GUI thread only). The first use installs close_all as the start-up
// module's table closer.
WorkAreas& work_areas();

}  // namespace kv::db
