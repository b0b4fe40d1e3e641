#include "tables/memvars.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "platform/files.h"

namespace kv::db {
namespace {

constexpr std::size_t kMaxNameLength = 10;
constexpr std::size_t kMaxTextLength = 65534;  // the length with its NUL fits two bytes
constexpr int kNumberWidth = 10;
constexpr int kMaxDecimals = 9;

// The name as kept: upper case, cut to its significant characters.
std::string upper(const std::string& name) {
    return platform::to_upper_name(name.substr(0, kMaxNameLength));
}

std::string le_double(double value) {
    const auto bits = std::bit_cast<std::uint64_t>(value);
    std::string bytes(8, '\0');
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    return bytes;
}

// Julian day number of a Gregorian date.
long julian_day(const util::Date& date) {
    const long a = (14 - date.month()) / 12;
    const long y = date.year() + 4800 - a;
    const long m = date.month() + 12 * a - 3;
    return date.day() + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

// Decimals shown for a number: as many as its shortest exact form needs, at most kMaxDecimals.
int decimals_of(double value) {
    for (int decimals = 0; decimals < kMaxDecimals; ++decimals) {
        const double scaled = value * std::pow(10.0, decimals);
        if (std::nearbyint(scaled) == scaled) return decimals;
    }
    return kMaxDecimals;
}

std::string descriptor(const std::string& name, char type, int length, int decimals) {
    std::string bytes(32, '\0');
    bytes.replace(0, name.size(), name);
    bytes[11] = static_cast<char>(static_cast<unsigned char>(type) | 0x80);
    bytes[16] = static_cast<char>(length & 0xFF);
    bytes[17] = static_cast<char>(decimals & 0xFF);
    return bytes;
}

std::optional<std::string> record(const std::string& name, const Value& value) {
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (text->size() > kMaxTextLength) return std::nullopt;
        const auto length = static_cast<int>(text->size() + 1);
        return descriptor(name, 'C', length, length >> 8) + *text + '\0';
    }
    if (const auto* number = std::get_if<double>(&value)) {
        if (!std::isfinite(*number)) return std::nullopt;
        const int decimals = decimals_of(*number);
        return descriptor(name, 'N', kNumberWidth + decimals, decimals) + le_double(*number);
    }
    if (const auto* date = std::get_if<util::Date>(&value)) {
        const double day = date->empty() ? 0.0 : static_cast<double>(julian_day(*date));
        return descriptor(name, 'D', 8, 0) + le_double(day);
    }
    if (const auto* logical = std::get_if<bool>(&value)) {
        return descriptor(name, 'L', 1, 0) + std::string(1, *logical ? '\x01' : '\0');
    }
    return std::nullopt;  // NIL has no stored form
}

}  // namespace

void MemoryVariables::set(const std::string& name, Value value) {
    values_[upper(name)] = std::move(value);
}

std::optional<Value> MemoryVariables::get(const std::string& name) const {
    const auto it = values_.find(upper(name));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

bool MemoryVariables::erase(const std::string& name) {
    return values_.erase(upper(name)) > 0;
}

std::vector<NamedValue> MemoryVariables::with_prefix(const std::string& prefix) const {
    const std::string start = upper(prefix);
    std::vector<NamedValue> found;
    for (auto it = values_.lower_bound(start); it != values_.end(); ++it) {
        if (it->first.compare(0, start.size(), start) != 0) break;
        found.emplace_back(it->first, it->second);
    }
    return found;
}

MemoryVariables& memory_variables() {
    static MemoryVariables variables;
    return variables;
}

std::optional<std::string> memory_file_bytes(const std::vector<NamedValue>& variables) {
    std::string bytes;
    for (const auto& [name, value] : variables) {
        if (name.empty()) return std::nullopt;
        const auto stored = record(upper(name), value);
        if (!stored) return std::nullopt;
        bytes += *stored;
    }
    return bytes + '\x1a';
}

bool save_memory_file(const std::string& file, const std::vector<NamedValue>& variables) {
    const auto bytes = memory_file_bytes(variables);
    return bytes && platform::write_whole_file(file, *bytes, platform::NameCase::Setting);
}

}  // namespace kv::db
