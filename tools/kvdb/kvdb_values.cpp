// Text and values between the command line (UTF-8) and a table (its code page, its fields): what
// kvdb shows and what it takes, refusing what a field cannot store as given.
#include <charconv>
#include <cstring>

#include <QString>

#include "db/code_pages.h"
#include "tools/kvdb/kvdb_commands.h"

namespace kv::kvdb {
namespace {

std::optional<int> g_code_page;  // --codepage: instead of the header's mark

}  // namespace

void set_code_page_override(std::optional<int> code_page) {
    g_code_page = code_page;
}

std::optional<int> code_page_override() {
    return g_code_page;
}

int text_code_page(const db::Table& table) {
    return g_code_page.value_or(db::code_page_of_mark(table.header().code_page).value_or(1252));
}

std::string shown_text(const db::Table& table, std::string_view stored) {
    return db::text_to_utf8(stored, text_code_page(table));
}

std::string stored_text(const db::Table& table, const std::string& utf8, const std::string& what) {
    std::string error;
    auto stored = db::text_from_utf8(utf8, text_code_page(table), error);
    if (!stored) throw Failure(what + ": " + error);
    return *stored;
}

std::string double_text(double value, int decimals) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    // At least the field's decimals, every digit the value has beyond them.
    auto point = text.find('.');
    if (decimals > 0 && point == std::string::npos) {
        point = text.size();
        text += '.';
    }
    if (decimals > 0 && text.size() - point - 1 < static_cast<std::size_t>(decimals))
        text.append(static_cast<std::size_t>(decimals) - (text.size() - point - 1), '0');
    return text;
}

std::optional<CheckedValue> check_value(db::Table& table, int index, const std::string& text,
                                        std::string& error) {
    const db::FieldSpec& spec = table.field_spec(index);
    CheckedValue checked{index, {}, {}};
    if (spec.type == 'N' || spec.type == 'F') {
        checked.decimal = number_text(text, spec, error);
        if (!checked.decimal) return std::nullopt;
        return checked;
    }
    std::string converted = text;
    if (spec.type == 'C' || db::is_memo_type(spec.type)) {
        auto stored = db::text_from_utf8(text, text_code_page(table), error);
        if (!stored) return std::nullopt;
        converted = *stored;
    }
    auto value = parse_value(spec.type, converted, error);
    if (!value) return std::nullopt;
    if (spec.type == 'C') {
        // Blanks past the width are the padding every value gets; anything else would be lost.
        const std::size_t last = converted.find_last_not_of(' ');
        const std::size_t length = last == std::string::npos ? 0 : last + 1;
        if (length > static_cast<std::size_t>(spec.width)) {
            error = "the text has " + std::to_string(length) + " characters, the field holds " +
                    std::to_string(spec.width);
            return std::nullopt;
        }
    } else if (db::is_memo_type(spec.type)) {
        if (table.memo() == nullptr) {
            error = "the table has no memo file";
            return std::nullopt;
        }
        if (table.memo()->layout() == db::MemoLayout::Old &&
            converted.find(db::kEofMark) != std::string::npos) {
            error = "the text holds the byte 0x1A, which ends a text in this table's memo file";
            return std::nullopt;
        }
    } else {
        std::string scratch(table.header().record_length, ' ');
        if (!db::encode_field(table.header().fields[static_cast<std::size_t>(index)], *value,
                              scratch.data())) {
            error = "the value does not fit the field";
            return std::nullopt;
        }
    }
    checked.value = std::move(*value);
    return checked;
}

std::optional<int> find_field(const db::Table& table, const std::string& name) {
    std::string error;
    if (const auto stored = db::text_from_utf8(name, text_code_page(table), error)) {
        if (const auto index = table.field_index(*stored)) return index;
    }
    // Letters past ASCII (CITTÀ for città) in any case too, as the table's code page reads them.
    const QString wanted =
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).trimmed().toUpper();
    for (int i = 0; i < table.field_count(); ++i) {
        if (QString::fromStdString(shown_text(table, table.field_spec(i).name)).toUpper() == wanted)
            return i;
    }
    return std::nullopt;
}

bool put_checked(db::Table& table, const CheckedValue& checked) {
    return checked.decimal ? table.put_decimal(checked.index, *checked.decimal)
                           : table.put(checked.index, checked.value);
}

std::vector<CheckedValue> check_assignments(db::Table& table,
                                            const std::vector<std::string>& pairs) {
    std::vector<CheckedValue> values;
    for (const std::string& pair : pairs) {
        const auto equals = pair.find('=');
        if (equals == std::string::npos)
            throw UsageError("a value is NAME=VALUE, not \"" + pair + "\"");
        const std::string name = pair.substr(0, equals);
        const auto index = find_field(table, name);
        if (!index) throw Failure("the table has no field " + name);
        std::string error;
        auto checked = check_value(table, *index, pair.substr(equals + 1), error);
        if (!checked)
            throw Failure(shown_text(table, table.field_spec(*index).name) + ": " + error);
        values.push_back(std::move(*checked));
    }
    return values;
}

}  // namespace kv::kvdb
