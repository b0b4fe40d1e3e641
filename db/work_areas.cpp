#include "db/work_areas.h"

#include "db/db_errors.h"
#include "platform/files.h"
#include "util/startup.h"

namespace kv::db {

bool WorkAreas::select(int area) {
    if (area == 0) area = free_area();
    if (area < 1 || area > kMaxWorkArea) return false;
    current_ = area;
    return true;
}

bool WorkAreas::select(std::string_view alias) {
    const auto area = area_of(alias);
    if (!area) return false;
    current_ = *area;
    return true;
}

int WorkAreas::free_area() const {
    int area = 1;
    for (const auto& [number, table] : tables_) {
        if (number != area) break;
        ++area;
    }
    return area <= kMaxWorkArea ? area : 0;
}

Table* WorkAreas::table(int area) const {
    const auto found = tables_.find(area == 0 ? current_ : area);
    return found == tables_.end() ? nullptr : found->second.get();
}

std::optional<int> WorkAreas::area_of(std::string_view alias) const {
    for (const auto& [number, table] : tables_) {
        if (platform::names_equal_ignoring_case(table->alias(), std::string(alias))) return number;
    }
    return std::nullopt;
}

std::vector<int> WorkAreas::used_areas() const {
    std::vector<int> areas;
    for (const auto& [number, table] : tables_) areas.push_back(number);
    return areas;
}

bool WorkAreas::open(const std::string& name, const OpenOptions& options, bool new_area) {
    if (new_area && !select(0)) {
        raise(kGenOpen, "No free work area", name, "open");
        return false;
    }
    close(current_);
    auto table = Table::open(name, options);
    if (!table) return false;
    if (const auto other = area_of(table->alias()); other && *other != current_) {
        raise(kGenArgument, "Alias already in use: " + table->alias(), name, "open");
        return false;
    }
    tables_[current_] = std::move(table);
    return true;
}

void WorkAreas::close(int area) {
    const auto found = tables_.find(area == 0 ? current_ : area);
    if (found == tables_.end()) return;
    std::unique_ptr<Table> table = std::move(found->second);
    tables_.erase(found);
    table->close();
}

void WorkAreas::close_all() {
    while (!tables_.empty()) close(tables_.begin()->first);
    current_ = 1;
}

WorkAreas& work_areas() {
    static WorkAreas* areas = [] {
        auto* made = new WorkAreas();
        util::set_table_closer([made] { made->close_all(); });
        return made;
    }();
    return *areas;
}

}  // namespace kv::db
