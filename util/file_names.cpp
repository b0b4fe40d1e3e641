#include "util/file_names.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>
#include <thread>

#include "util/text.h"

namespace kv::util {
namespace {

constexpr std::array<std::string_view, 11> kReservedNames = {
    "NUL", "CON", "PRN", "AUX", "LPT1", "LPT2", "LPT3", "COM1", "COM2", "COM3", "COM4"};

constexpr std::string_view kShortNameForbidden = " \"*+,./:<>?\\|";
constexpr std::string_view kLongNameForbidden = "\"*/:<>?\\|";

bool holds_any_of(const std::string& name, std::string_view forbidden) {
    return name.find_first_of(forbidden) != std::string::npos;
}

bool is_reserved(const std::string& name) {
    return std::find(kReservedNames.begin(), kReservedNames.end(), name) != kReservedNames.end();
}

bool holds_byte_above_tilde(const std::string& name) {
    return std::any_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c) > '~'; });
}

}  // namespace

bool FNAME(const std::string& name) {
    const std::string n = ascii_upper(trim_blanks(name));
    return !n.empty() && n.size() <= 8 && !holds_byte_above_tilde(n) &&
           !holds_any_of(n, kShortNameForbidden) && !is_reserved(n);
}

bool LFNFNAME(const std::string& name) {
    const std::string n = ascii_upper(trim_blanks(name));
    return !n.empty() && !holds_any_of(n, kLongNameForbidden) && !is_reserved(n);
}

std::string temporary_name(const LocalDateTime& moment) {
    const long long hundredths = (moment.since_midnight.count() + 5000) / 10000;
    char date[16];
    std::snprintf(date, sizeof date, "%04d%02u%02u", moment.year, moment.month, moment.day);
    return std::string(1, TEMPORARY_MARK) + date + std::to_string(hundredths);
}

std::string GETNEWFNAME() {
    const std::string first = temporary_name(local_now());
    while (temporary_name(local_now()) == first) std::this_thread::yield();
    return first;
}

}  // namespace kv::util
