#include "db/dbf_layout.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "db/db_errors.h"
#include "db/memo_file.h"

namespace kv::db {
namespace {

constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kDescriptorSize = 32;
constexpr int kMaxFields = 255;
constexpr int kMaxRecordLength = 65500;
constexpr std::size_t kBackLinkSize = 263;

std::uint32_t u32_at(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint8_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
}
std::uint16_t u16_at(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}
void put_u32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}
void put_u16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

// The year byte: written as other writers of the layout write it (count_and_date_bytes); read as
// 1900 + byte, except that a byte below 80 (the year within its century) is 20yy.
int year_from_byte(int byte) {
    if (byte >= 100) return 1900 + byte;
    return byte < 80 ? 2000 + byte : 1900 + byte;
}

bool known_type(char type) {
    return std::strchr("CNFDLMIBYTGP", type) != nullptr && type != 0;
}

int fixed_width(char type) {
    switch (type) {
        case 'D':
            return 8;
        case 'L':
            return 1;
        case 'M':
            return 10;
        default:
            return 0;
    }
}

bool valid_name(const std::string& name) {
    if (name.empty() || name.size() > 10) return false;
    if (!std::isalpha(static_cast<unsigned char>(name[0])) && name[0] != '_') return false;
    for (char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

std::string_view trimmed(const char* bytes, int width) {
    std::string_view text(bytes, static_cast<std::size_t>(width));
    while (!text.empty() && (text.front() == ' ' || text.front() == '\0')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
    return text;
}

double parse_number(std::string_view text) {
    if (text.empty()) return 0;
    char buffer[64];
    const std::size_t n = std::min(text.size(), sizeof buffer - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    char* end = nullptr;
    const double value = std::strtod(buffer, &end);
    return std::isfinite(value) ? value : 0;
}

std::int64_t i64_le(const char* bytes) {
    std::uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
    return static_cast<std::int64_t>(value);
}

}  // namespace

long julian_day(util::Date date) {
    static const util::Date kReference = util::Date::of(2000, 1, 1);
    return date.empty() ? 0 : 2451545 + date.days_since(kReference);
}

util::Date date_of_julian_day(long day) {
    static const util::Date kReference = util::Date::of(2000, 1, 1);
    return day <= 0 ? util::Date() : kReference.plus_days(day - 2451545);
}

bool is_memo_type(char type) {
    return type == 'M' || type == 'G' || type == 'P';
}

std::string check_field_specs(std::vector<FieldSpec>& fields) {
    if (fields.empty()) return "a table needs at least one field";
    if (fields.size() > kMaxFields) return "too many fields";
    int length = 1;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        FieldSpec& field = fields[i];
        for (char& c : field.name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        field.type = static_cast<char>(std::toupper(static_cast<unsigned char>(field.type)));
        if (!valid_name(field.name)) return "invalid field name \"" + field.name + "\"";
        for (std::size_t j = 0; j < i; ++j) {
            if (fields[j].name == field.name) return "field " + field.name + " is named twice";
        }
        if (std::strchr("CNFDLM", field.type) == nullptr || field.type == 0) {
            return "field " + field.name + ": type must be C, N, F, D, L or M";
        }
        if (const int width = fixed_width(field.type); width != 0) {
            field.width = width;
            field.decimals = 0;
        }
        if (field.type == 'C') {
            field.decimals = 0;
            if (field.width < 1 || field.width > 254) {
                return "field " + field.name + ": character width must be 1 to 254";
            }
        }
        if (field.type == 'N' || field.type == 'F') {
            if (field.width < 1 || field.width > 20) {
                return "field " + field.name + ": numeric width must be 1 to 20";
            }
            if (field.decimals < 0 || (field.decimals > 0 && field.decimals > field.width - 2)) {
                return "field " + field.name + ": too many decimals for the width";
            }
        }
        length += field.width;
    }
    if (length > kMaxRecordLength) return "records would be longer than 65,500 bytes";
    return {};
}

std::string build_header(const DbfHeader& header) {
    const std::size_t length = kHeaderSize + kDescriptorSize * header.fields.size() + 1;
    std::string bytes(length, '\0');
    bytes[0] = static_cast<char>(header.version);
    bytes.replace(1, 7,
                  count_and_date_bytes(header.record_count, header.year, header.month, header.day,
                                       header.version)
                      .substr(0, 7));
    put_u16(bytes, 8, static_cast<std::uint16_t>(length));
    put_u16(bytes, 10, header.record_length);
    bytes[28] = static_cast<char>(header.flags);
    bytes[29] = static_cast<char>(header.code_page);
    for (std::size_t i = 0; i < header.fields.size(); ++i) {
        const FieldLayout& field = header.fields[i];
        const std::size_t at = kHeaderSize + kDescriptorSize * i;
        std::memcpy(&bytes[at], field.spec.name.data(),
                    std::min<std::size_t>(field.spec.name.size(), 10));
        bytes[at + 11] = field.spec.type;
        put_u32(bytes, at + 12, static_cast<std::uint32_t>(field.offset));
        bytes[at + 16] = static_cast<char>(field.spec.width & 0xFF);
        bytes[at + 17] =
            static_cast<char>(field.spec.type == 'C' ? field.spec.width >> 8 : field.spec.decimals);
    }
    bytes[length - 1] = 0x0D;
    return bytes;
}

std::string count_and_date_bytes(std::uint32_t count, int year, int month, int day,
                                 std::uint8_t version) {
    std::string bytes(7, '\0');
    // As the other writers of each layout write it: the years since 1900 in the plain tables
    // and those of the older memo layout, the year within its century in the others.
    const bool since_1900 = version == kVersionPlain || version == kVersionDbtMemo;
    bytes[0] = static_cast<char>(since_1900 ? std::clamp(year - 1900, 0, 255) : year % 100);
    bytes[1] = static_cast<char>(month);
    bytes[2] = static_cast<char>(day);
    for (int i = 0; i < 4; ++i) bytes[3 + i] = static_cast<char>(count >> (8 * i));
    return bytes;
}

std::size_t header_length_of(std::string_view first32) {
    return first32.size() < kHeaderSize ? kHeaderSize : u16_at(first32, 8);
}

DbfHeader parse_header(std::string_view bytes, std::uint64_t file_size) {
    if (bytes.size() < kHeaderSize) throw Corrupt("the file is shorter than a table header");
    DbfHeader header;
    header.version = static_cast<std::uint8_t>(bytes[0]);
    switch (header.version) {
        case 0x03:
        case 0x83:
        case 0xF5:
        case 0x30:
        case 0x31:
        case 0x8B:
            break;
        default:
            throw Corrupt("unknown table version byte");
    }
    if (bytes[15] == 0x01) throw Corrupt("the table is encrypted");
    header.year = year_from_byte(static_cast<std::uint8_t>(bytes[1]));
    header.month = static_cast<std::uint8_t>(bytes[2]);
    header.day = static_cast<std::uint8_t>(bytes[3]);
    header.record_count = u32_at(bytes, 4);
    header.header_length = u16_at(bytes, 8);
    header.record_length = u16_at(bytes, 10);
    header.flags = static_cast<std::uint8_t>(bytes[28]);
    header.code_page = static_cast<std::uint8_t>(bytes[29]);
    if (header.header_length < kHeaderSize + kDescriptorSize + 1 ||
        header.header_length > bytes.size()) {
        throw Corrupt("the header length is impossible");
    }
    if (header.record_length < 2) throw Corrupt("the record length is impossible");
    if (header.header_length > file_size) throw Corrupt("the file is shorter than its header");
    int offset = 1;
    int null_bits = 0;
    std::size_t at = kHeaderSize;
    for (;; at += kDescriptorSize) {
        // The descriptors end with 0x0D inside the stated header length; a length that cuts
        // them short, or that reaches past their end into the records, is damage.
        if (at >= header.header_length)
            throw Corrupt("the header length disagrees with the field descriptors");
        if (bytes[at] == 0x0D) break;
        if (at + kDescriptorSize > header.header_length)
            throw Corrupt("the header length disagrees with the field descriptors");
        FieldLayout field;
        const char* name = &bytes[at];
        field.spec.name.assign(name, strnlen(name, 11));
        field.spec.type = bytes[at + 11];
        field.spec.width = static_cast<std::uint8_t>(bytes[at + 16]);
        field.spec.decimals = static_cast<std::uint8_t>(bytes[at + 17]);
        if (field.spec.type == 'C') {
            field.spec.width += 256 * field.spec.decimals;
            field.spec.decimals = 0;
        }
        if (field.spec.width < 1) throw Corrupt("field " + field.spec.name + " has no width");
        const auto flags = static_cast<std::uint8_t>(bytes[at + 18]);
        if (flags & 0x01) {
            // A hidden system column (the null flags of the later layout, of type '0'): skipped,
            // but its bytes count.
            if (field.spec.type == '0' && header.null_flags_width == 0) {
                header.null_flags_offset = offset;
                header.null_flags_width = field.spec.width;
            }
            offset += field.spec.width;
            continue;
        }
        // A field that may be null has the next bit of the null flags.
        if (flags & 0x02) field.null_bit = null_bits++;
        if (!known_type(field.spec.type))
            throw Corrupt("field " + field.spec.name + " has an unknown type");
        field.offset = offset;
        offset += field.spec.width;
        header.fields.push_back(std::move(field));
    }
    // Between the terminator and the first record: nothing (or NUL filler), or the later
    // layout's 263-byte back link (which may name its database). Anything else means the records do
    // not start where the header says.
    const std::size_t filler = header.header_length - (at + 1);
    if (filler != kBackLinkSize &&
        bytes.substr(at + 1, filler).find_first_not_of('\0') != std::string::npos)
        throw Corrupt("the header length disagrees with the field descriptors");
    if (header.fields.empty()) throw Corrupt("the table has no fields");
    if (offset != header.record_length)
        throw Corrupt("the record length disagrees with the fields");
    const std::uint64_t needed =
        header.header_length +
        static_cast<std::uint64_t>(header.record_count) * header.record_length;
    if (needed > file_size) throw Corrupt("the record count points past the end of the file");
    return header;
}

Value decode_field(const FieldLayout& field, const char* record, MemoFile* memo) {
    const char* bytes = record + field.offset;
    const int width = field.spec.width;
    switch (field.spec.type) {
        case 'C':
            return std::string(bytes, static_cast<std::size_t>(width));
        case 'N':
        case 'F':
            return parse_number(trimmed(bytes, width));
        case 'D': {
            const std::string_view text = trimmed(bytes, width);
            if (text.size() != 8) return util::Date();
            int parts[3] = {0, 0, 0};
            const int sizes[3] = {4, 2, 2};
            std::size_t at = 0;
            for (int p = 0; p < 3; ++p) {
                for (int i = 0; i < sizes[p]; ++i, ++at) {
                    if (!std::isdigit(static_cast<unsigned char>(text[at]))) return util::Date();
                    parts[p] = parts[p] * 10 + (text[at] - '0');
                }
            }
            return util::Date::of(parts[0], parts[1], parts[2]);
        }
        case 'L':
            return std::strchr("TtYy", bytes[0]) != nullptr && bytes[0] != 0;
        case 'I': {
            std::uint32_t value = 0;
            for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
            return static_cast<double>(static_cast<std::int32_t>(value));
        }
        case 'B': {
            if (width != 8) return 0.0;
            const std::int64_t raw = i64_le(bytes);
            double value;
            std::memcpy(&value, &raw, sizeof value);
            return std::isfinite(value) ? value : 0.0;
        }
        case 'Y':
            return width == 8 ? static_cast<double>(i64_le(bytes)) / 10000.0 : 0.0;
        case 'T': {
            if (width != 8) return util::Date();
            std::uint32_t day = 0;
            for (int i = 3; i >= 0; --i) day = day << 8 | static_cast<std::uint8_t>(bytes[i]);
            return date_of_julian_day(static_cast<long>(day));
        }
        default: {
            const std::uint32_t block = memo_block(field, record);
            if (block == 0 || memo == nullptr) return std::string();
            try {
                return memo->read(block);
            } catch (const Corrupt& fault) {
                throw Corrupt("field " + field.spec.name + ": " + fault.what());
            }
        }
    }
}

bool encode_field(const FieldLayout& field, const Value& value, char* record) {
    char* bytes = record + field.offset;
    const int width = field.spec.width;
    switch (field.spec.type) {
        case 'C': {
            const auto* text = std::get_if<std::string>(&value);
            if (text == nullptr) return false;
            const std::size_t n =
                std::min<std::size_t>(text->size(), static_cast<std::size_t>(width));
            std::memcpy(bytes, text->data(), n);
            std::memset(bytes + n, ' ', static_cast<std::size_t>(width) - n);
            return true;
        }
        case 'N':
        case 'F': {
            const auto* number = std::get_if<double>(&value);
            if (number == nullptr || !std::isfinite(*number)) return false;
            double n = *number;
            const double scale = std::pow(10.0, field.spec.decimals);
            n = std::round(n * scale) / scale;
            if (n == 0) n = 0;  // no "-0"
            char text[64];
            const int length =
                std::snprintf(text, sizeof text, "%*.*f", width, field.spec.decimals, n);
            if (length < 0 || length > width) return false;
            std::memcpy(bytes, text, static_cast<std::size_t>(width));
            return true;
        }
        case 'D': {
            const auto* date = std::get_if<util::Date>(&value);
            if (date == nullptr) return false;
            if (date->empty()) {
                std::memset(bytes, ' ', 8);
            } else {
                char text[16];
                std::snprintf(text, sizeof text, "%04d%02d%02d", date->year(), date->month(),
                              date->day());
                std::memcpy(bytes, text, 8);
            }
            return true;
        }
        case 'L': {
            const auto* flag = std::get_if<bool>(&value);
            if (flag == nullptr) return false;
            bytes[0] = *flag ? 'T' : 'F';
            return true;
        }
        default:
            return false;
    }
}

std::optional<std::string> decimal_field_text(std::string_view text, int width, int decimals) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::string whole, fraction;
    bool point = false;
    for (char c : text) {
        if (c == '.' && !point) {
            point = true;
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            (point ? fraction : whole) += c;
        } else {
            return std::nullopt;
        }
    }
    if (whole.empty() && fraction.empty()) return std::nullopt;
    const auto kept = static_cast<std::size_t>(std::max(decimals, 0));
    const bool round_up = fraction.size() > kept && fraction[kept] >= '5';
    fraction.resize(kept, '0');
    std::string digits = whole + fraction;  // the number times 10^decimals
    if (round_up) {
        std::size_t i = digits.size();
        while (i > 0 && digits[i - 1] == '9') digits[--i] = '0';
        if (i == 0) {
            digits.insert(digits.begin(), '1');
        } else {
            ++digits[i - 1];
        }
    }
    const auto first = digits.find_first_not_of('0');
    if (first == std::string::npos) negative = false;  // no "-0"
    digits.erase(0, std::min(first, digits.size() > kept ? digits.size() - kept - 1 : 0));
    while (digits.size() < kept + 1) digits.insert(digits.begin(), '0');
    std::string out = (negative ? "-" : "") + digits.substr(0, digits.size() - kept);
    if (kept > 0) out += "." + digits.substr(digits.size() - kept);
    if (out.size() > static_cast<std::size_t>(width)) return std::nullopt;
    return std::string(static_cast<std::size_t>(width) - out.size(), ' ') + out;
}

void blank_record(const DbfHeader& header, std::string& record) {
    record.assign(header.record_length, ' ');
    for (const FieldLayout& field : header.fields) blank_field(field, record.data());
    // No field of a new record is null: every bit of the null flags is clear.
    if (header.null_flags_width > 0 &&
        header.null_flags_offset + header.null_flags_width <= header.record_length)
        std::memset(record.data() + header.null_flags_offset, 0,
                    static_cast<std::size_t>(header.null_flags_width));
}

void clear_null_flag(const DbfHeader& header, const FieldLayout& field, char* record) {
    if (field.null_bit < 0 || field.null_bit / 8 >= header.null_flags_width ||
        header.null_flags_offset + header.null_flags_width > header.record_length)
        return;
    record[header.null_flags_offset + field.null_bit / 8] &=
        static_cast<char>(~(1u << (field.null_bit % 8)));
}

void blank_field(const FieldLayout& field, char* record) {
    char* bytes = record + field.offset;
    const bool binary = std::strchr("IBYT", field.spec.type) != nullptr ||
                        (is_memo_type(field.spec.type) && field.spec.width == 4);
    std::memset(bytes, binary ? 0 : ' ', static_cast<std::size_t>(field.spec.width));
}

std::uint32_t memo_block(const FieldLayout& field, const char* record) {
    const char* bytes = record + field.offset;
    if (field.spec.width == 4) {
        return static_cast<std::uint32_t>(u32_at(std::string_view(bytes, 4), 0));
    }
    const std::string_view text = trimmed(bytes, field.spec.width);
    std::uint64_t block = 0;
    for (char c : text) {
        // Anything but digits (a sign, a blank inside) or a number past 32 bits leads nowhere:
        // damage, never "no memo", or a pack would drop the text it names.
        if (!std::isdigit(static_cast<unsigned char>(c)) ||
            (block = block * 10 + (c - '0')) > 0xFFFFFFFFu) {
            throw Corrupt("field " + field.spec.name + ": the memo pointer \"" + std::string(text) +
                          "\" is not a block number");
        }
    }
    return static_cast<std::uint32_t>(block);
}

void set_memo_block(const FieldLayout& field, std::uint32_t block, char* record) {
    char* bytes = record + field.offset;
    const auto width = static_cast<std::size_t>(field.spec.width);
    if (width == 4) {
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(block >> (8 * i));
        return;
    }
    std::memset(bytes, ' ', width);
    if (block == 0) return;
    const std::string digits = std::to_string(block);
    if (digits.size() <= width)
        std::memcpy(bytes + width - digits.size(), digits.data(), digits.size());
}

}  // namespace kv::db
