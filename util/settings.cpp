#include "util/settings.h"

#include <cstdio>

#include "platform/files.h"

namespace kv::util {

RuntimeSettings& settings() {
    static RuntimeSettings instance;
    return instance;
}

void set_file_case(const std::string& mode) {
    settings().file_case = mode;
    platform::set_upper_case_file_names(mode == "UPPER");
}

int year_from_two_digits(int yy) {
    const int epoch = settings().epoch;
    const int century = epoch / 100 * 100;
    return yy >= epoch % 100 ? century + yy : century + 100 + yy;
}

std::string format_date(const std::optional<std::chrono::year_month_day>& date) {
    const std::string& mask = settings().date_format;
    if (!date) return std::string(mask.size(), ' ');
    const int year = static_cast<int>(date->year());
    const unsigned month = static_cast<unsigned>(date->month());
    const unsigned day = static_cast<unsigned>(date->day());
    std::string result = mask;
    auto put = [&result](const std::string& field, int value) {
        const auto at = result.find(field);
        if (at == std::string::npos) return;
        char digits[8];
        std::snprintf(digits, sizeof digits, "%0*d", static_cast<int>(field.size()),
                      value % (field.size() == 2 ? 100 : 10000));
        result.replace(at, field.size(), digits);
    };
    put(mask.find("yyyy") != std::string::npos ? "yyyy" : "yy", year);
    put("mm", static_cast<int>(month));
    put("dd", static_cast<int>(day));
    return result;
}

}  // namespace kv::util
