#include "tools/kvdb/kvdb.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "db/code_pages.h"
#include "db/db_errors.h"
#include "db/dbf_table.h"
#include "kvdb_help.h"
#include "platform/codepages.h"
#include "platform/files.h"
#include "tools/kvdb/kvdb_commands.h"
#include "util/error_record.h"
#include "util/settings.h"

namespace kv::kvdb {

std::string error_text(const util::ErrorRecord& record) {
    std::string text = record.description.value_or("error");
    if (!record.filename.empty()) text += ": " + record.filename;
    // The system's reason, as the file layer words it.
    if (record.oscode != 0) text += " (" + platform::file_error_text({record.oscode, 0}) + ")";
    return text;
}

std::string field_text(const db::Table& table, int index, bool raw) {
    const db::FieldSpec& spec = table.field_spec(index);
    const db::Value value = table.get(index);
    std::string text;
    switch (spec.type) {
        case 'D':
        case 'T': {
            const util::Date date =
                std::get_if<util::Date>(&value) ? std::get<util::Date>(value) : util::Date();
            if (!date.empty()) {
                char buffer[16];
                std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", date.year(), date.month(),
                              date.day());
                text = buffer;
            }
            break;
        }
        case 'L':
            text = std::get_if<bool>(&value) && std::get<bool>(value) ? "T" : "F";
            break;
        case 'N':
        case 'F': {
            const std::string stored(
                table.record_bytes() +
                    table.header().fields[static_cast<std::size_t>(index)].offset,
                static_cast<std::size_t>(spec.width));
            const auto first = stored.find_first_not_of(' ');
            text = first == std::string::npos
                       ? ""
                       : stored.substr(first, stored.find_last_not_of(' ') - first + 1);
            break;
        }
        case 'I':
        case 'B':
        case 'Y':
            text = double_text(std::get_if<double>(&value) ? std::get<double>(value) : 0.0,
                               spec.type == 'I'   ? 0
                               : spec.type == 'Y' ? 4
                                                  : spec.decimals);
            break;
        case 'C': {
            text = std::get_if<std::string>(&value) ? std::get<std::string>(value) : "";
            text.erase(text.find_last_not_of(' ') + 1);
            break;
        }
        default:
            text = std::get_if<std::string>(&value) ? std::get<std::string>(value) : "";
            break;
    }
    return raw ? text : shown_text(table, text);
}

namespace {

// A number as the user writes one in decimal: blanks before it, a sign, digits with one point, an
// exponent. strtod alone would also take 0x10, 0x1p3, inf and nan, which no table field holds as
// the user meant them.
std::optional<double> decimal_number(const std::string& text) {
    std::size_t at = text.find_first_not_of(' ');
    if (at == std::string::npos) return std::nullopt;
    if (text[at] == '+' || text[at] == '-') ++at;
    std::size_t digits = 0;
    bool point = false;
    for (; at < text.size(); ++at) {
        if (text[at] >= '0' && text[at] <= '9') {
            ++digits;
        } else if (text[at] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return std::nullopt;
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
        const std::size_t exponent = at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
        if (at == exponent) return std::nullopt;
    }
    if (at != text.size()) return std::nullopt;
    const double number = std::strtod(text.c_str(), nullptr);
    if (!std::isfinite(number)) return std::nullopt;
    return number;
}

}  // namespace

std::optional<db::Value> parse_value(char type, const std::string& text, std::string& error) {
    switch (type) {
        case 'C':
        case 'M':
            return text;
        case 'N':
        case 'F': {
            if (text.find_first_not_of(' ') == std::string::npos) return 0.0;
            const std::optional<double> number = decimal_number(text);
            if (!number) {
                error = "\"" + text + "\" is not a number";
                return std::nullopt;
            }
            return *number;
        }
        case 'D': {
            if (text.empty()) return util::Date();
            int year = 0, month = 0, day = 0;
            char tail = 0;
            if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail) != 3 ||
                util::Date::of(year, month, day).empty()) {
                error = "\"" + text + "\" is not a date (YYYY-MM-DD)";
                return std::nullopt;
            }
            return util::Date::of(year, month, day);
        }
        case 'L': {
            const std::string t = text.empty() ? "F" : text;
            if (t == "T" || t == "t" || t == "Y" || t == "y" || t == "true" || t == ".T.")
                return true;
            if (t == "F" || t == "f" || t == "N" || t == "n" || t == "false" || t == ".F.")
                return false;
            error = "\"" + text + "\" is not a logical (T or F)";
            return std::nullopt;
        }
        default:
            error = "fields of that type cannot be set";
            return std::nullopt;
    }
}

namespace {

// The run-time settings the program runs with (its start-up procedure's), for the time of one
// command line, so that keys built over dates agree with the program's; --date-format and --epoch
// change the date settings. What was set before comes back at the end.
class ProgramSettings {
  public:
    ProgramSettings() : saved_(util::settings()) {
        util::RuntimeSettings& s = util::settings();
        s.table_format = "DBFCDX";
        s.lock_scheme = 2;
        s.memo_layout = 2;
        s.memo_extension = ".DBT";
        s.auto_share = false;
        s.century = false;
        s.date_format = "dd/mm/yy";
        s.hide_deleted = true;
        s.epoch = 1980;
    }
    ~ProgramSettings() { util::settings() = saved_; }
    ProgramSettings(const ProgramSettings&) = delete;
    ProgramSettings& operator=(const ProgramSettings&) = delete;

  private:
    util::RuntimeSettings saved_;
};

// Takes --date-format MASK, --epoch YEAR and --codepage N out of the arguments and applies them.
std::vector<std::string> take_date_options(const std::vector<std::string>& arguments) {
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& given = arguments[i];
        const std::string argument = given.substr(0, given.find('='));
        if (argument != "--date-format" && argument != "--epoch" && argument != "--codepage") {
            rest.push_back(given);
            continue;
        }
        if (argument == given && i + 1 >= arguments.size())
            throw UsageError(argument + " needs a value");
        const std::string value =
            argument == given ? arguments[++i] : given.substr(argument.size() + 1);
        if (argument == "--date-format") {
            std::string letters;
            for (char c : value) {
                const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                if ((l == 'd' || l == 'm' || l == 'y') && letters.find(l) == std::string::npos)
                    letters += l;
            }
            if (letters.size() != 3 || value.size() > 10)
                throw UsageError(
                    "a date format has days, months and years, such as dd/mm/yy, "
                    "not \"" +
                    value + "\"");
            util::settings().date_format = value;
        } else if (argument == "--codepage") {
            const auto& pages = db::known_code_pages();
            const bool digits = !value.empty() && value.size() < 6 &&
                                value.find_first_not_of("0123456789") == std::string::npos;
            if (!digits || std::find(pages.begin(), pages.end(), std::stoi(value)) == pages.end()) {
                std::string known;
                for (int page : pages) known += (known.empty() ? "" : ", ") + std::to_string(page);
                throw UsageError("a code page is one of " + known + ", not \"" + value + "\"");
            }
            set_code_page_override(std::stoi(value));
        } else {
            if (value.empty() || value.size() > 4 ||
                value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoi(value) < 100)
                throw UsageError("an epoch is a year such as 1980, not \"" + value + "\"");
            util::settings().epoch = std::stoi(value);
        }
    }
    return rest;
}

}  // namespace

std::optional<std::string> number_text(const std::string& text, const db::FieldSpec& spec,
                                       std::string& error) {
    const std::string number = text.find_first_not_of(' ') == std::string::npos ? "0" : text;
    if (auto stored = db::decimal_field_text(number, spec.width, spec.decimals)) return stored;
    // Not plain decimal text: a number in another form (1e5) goes through its value.
    const std::optional<double> value = decimal_number(number);
    if (!value) {
        error = "\"" + text + "\" is not a number";
        return std::nullopt;
    }
    char digits[512];
    std::snprintf(digits, sizeof digits, "%.*f", spec.decimals, *value);
    if (auto stored = db::decimal_field_text(digits, spec.width, spec.decimals)) return stored;
    error = "\"" + text + "\" does not fit the field (width " + std::to_string(spec.width) + ", " +
            std::to_string(spec.decimals) + " decimals)";
    return std::nullopt;
}

namespace {

// Every command's options, and the date settings' that stand anywhere; each command takes its
// own share of them (parse_options).
constexpr cli::Option kOptions[] = {
    {"--date-format", "a value"},
    {"--epoch", "a value"},
    {"--codepage", "a value"},
    {"--memo-ext", "a value"},
    {"--bag", "a value"},
    {"--order", "a value"},
    {"--for", "a value"},
    {"--deleted"},
    {"--raw"},
    {"--unique"},
    {"--descending"},
    {"--force"},
    {"--all"},
};

}  // namespace

int run(const std::vector<std::string>& all_arguments, std::ostream& out, std::ostream& err) {
    ProgramSettings settings;
    set_code_page_override(std::nullopt);
    const cli::Program program{"kvdb", help::kvdb, kOptions};
    return cli::start(program, all_arguments, out, err, [&](const cli::CommandLine& line) {
        if (line.operands.empty()) throw UsageError("no command given");
        const std::vector<std::string> arguments = take_date_options(all_arguments);
        if (arguments[0] != line.operands[0])
            throw UsageError("the command comes first: kvdb COMMAND TABLE [ARGUMENTS]");
        if (arguments[0] == "help") {
            out << help::kvdb;
            return 0;
        }
        Command command;
        command.name = arguments[0];
        command.arguments.assign(arguments.begin() + 1, arguments.end());
        command.out = &out;
        command.err = &err;
        const auto handler = find_command(command.name);
        if (!handler) throw UsageError("unknown command \"" + command.name + "\"");
        try {
            return handler(command);
        } catch (const UsageError&) {
            throw;
        } catch (const util::UnhandledError& error) {
            err << "kvdb: " << error_text(error.record()) << "\n";
            return 1;
        } catch (const std::exception& failure) {
            err << "kvdb: " << failure.what() << "\n";
            return 1;
        }
    });
}

}  // namespace kv::kvdb
