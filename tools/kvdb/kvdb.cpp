#include "tools/kvdb/kvdb.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "db/db_errors.h"
#include "db/dbf_table.h"
#include "kvdb_help.h"
#include "platform/codepages.h"
#include "platform/files.h"
#include "tools/kvdb/kvdb_commands.h"
#include "util/error_record.h"

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
        case 'Y': {
            char buffer[64];
            std::snprintf(buffer, sizeof buffer, "%.*f",
                          spec.type == 'I'   ? 0
                          : spec.type == 'Y' ? 4
                                             : spec.decimals,
                          std::get_if<double>(&value) ? std::get<double>(value) : 0.0);
            text = buffer;
            break;
        }
        case 'C': {
            text = std::get_if<std::string>(&value) ? std::get<std::string>(value) : "";
            text.erase(text.find_last_not_of(' ') + 1);
            break;
        }
        default:
            text = std::get_if<std::string>(&value) ? std::get<std::string>(value) : "";
            break;
    }
    return raw ? text : platform::ansi_to_utf8(text);
}

std::optional<db::Value> parse_value(char type, const std::string& text, std::string& error) {
    switch (type) {
        case 'C':
        case 'M':
            return utf8_to_ansi(text);
        case 'N':
        case 'F': {
            if (text.find_first_not_of(' ') == std::string::npos) return 0.0;
            char* end = nullptr;
            const double number = std::strtod(text.c_str(), &end);
            if (end == text.c_str() || *end != '\0' || !std::isfinite(number)) {
                error = "\"" + text + "\" is not a number";
                return std::nullopt;
            }
            return number;
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

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.empty() || arguments[0] == "--help" || arguments[0] == "-h" ||
        arguments[0] == "help") {
        (arguments.empty() ? err : out) << help::kvdb;
        return arguments.empty() ? 2 : 0;
    }
    if (arguments[0] == "--version") {
        out << "kvdb (KV32) " << KV32_VERSION << '\n';
        return 0;
    }
    Command command;
    command.name = arguments[0];
    command.arguments.assign(arguments.begin() + 1, arguments.end());
    command.out = &out;
    command.err = &err;
    const auto handler = find_command(command.name);
    if (!handler) {
        err << "kvdb: unknown command \"" << command.name << "\"\nTry kvdb --help.\n";
        return 2;
    }
    try {
        return handler(command);
    } catch (const UsageError& usage) {
        err << "kvdb: " << usage.what() << "\nTry kvdb --help.\n";
        return 2;
    } catch (const util::UnhandledError& error) {
        err << "kvdb: " << error_text(error.record()) << "\n";
        return 1;
    } catch (const std::exception& failure) {
        err << "kvdb: " << failure.what() << "\n";
        return 1;
    }
}

}  // namespace kv::kvdb
