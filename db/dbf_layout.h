#pragma once
// The byte layout of a table file: the 32-byte header, the field descriptors and the stored form
// of each field type.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/language.h"

namespace kv::db {

// A field as a caller describes it: name, type letter, width and decimals. D, L and M take their
// fixed widths (8, 1, 10) whatever width is given.
struct FieldSpec {
    std::string name;
    char type = 'C';
    int width = 10;
    int decimals = 0;
};

// A field and its place in the record.
struct FieldLayout {
    FieldSpec spec;
    int offset = 0;     // from the start of the record (the deleted flag is byte 0)
    int null_bit = -1;  // the later layout: its bit in the null flags when it may be null
};

// Version bytes.
inline constexpr std::uint8_t kVersionPlain = 0x03;    // no memo file
inline constexpr std::uint8_t kVersionDbtMemo = 0x83;  // memo in the older 512-byte layout
inline constexpr std::uint8_t kVersionFptMemo = 0xF5;  // memo in the block layout
inline constexpr std::uint8_t kVersionVisual = 0x30;   // later layout, read only
inline constexpr std::uint8_t kFlagStructuralIndex = 0x01;
inline constexpr std::uint8_t kCodePage1252 = 0x03;
inline constexpr char kEofMark = 0x1A;
inline constexpr char kLiveFlag = ' ';
inline constexpr char kDeletedFlag = '*';

// The table file's header: version, date of the last update, counts, lengths and fields.
struct DbfHeader {
    std::uint8_t version = kVersionPlain;
    int year = 0, month = 0, day = 0;  // last update; year is the full year
    std::uint32_t record_count = 0;
    std::uint16_t header_length = 0;
    std::uint16_t record_length = 0;
    std::uint8_t flags = 0;
    std::uint8_t code_page = 0;
    std::vector<FieldLayout> fields;
    // The later layout's hidden null flags column (width 0: none).
    int null_flags_offset = 0;
    int null_flags_width = 0;
};

// Checks and completes a field list for a new table; the reason when it is not acceptable.
std::string check_field_specs(std::vector<FieldSpec>& fields);
// The header bytes of a new table (header length = 32 + 32 per field + 1).
std::string build_header(const DbfHeader& header);
// The 8 bytes of the record count and the last-update date, for rewriting them in place
// (bytes 1 to 7); the year byte's form depends on the table's version byte.
std::string count_and_date_bytes(std::uint32_t count, int year, int month, int day,
                                 std::uint8_t version);
// Reads the header; throws Corrupt when it is not a table header this engine can read or when
// it disagrees with the file's size.
DbfHeader parse_header(std::string_view bytes, std::uint64_t file_size);
// The number of bytes to read to have the whole header (at least 32).
std::size_t header_length_of(std::string_view first32);

// Whether a field is stored as a memo reference.
bool is_memo_type(char type);

class MemoFile;
// The value of a field from the record's bytes (memo text through the memo file).
Value decode_field(const FieldLayout& field, const char* record, MemoFile* memo);
// The stored bytes of a non-memo value; false when the value's type does not fit the field or a
// number is too wide.
bool encode_field(const FieldLayout& field, const Value& value, char* record);
// The stored text of a number given in decimal text for a field of that width and decimals:
// rounded half away from zero to the decimals and right-aligned, every digit kept (no double in
// between, so 20-digit numbers stay exact); nullopt when the text is not a plain decimal number
// or the result does not fit the width.
std::optional<std::string> decimal_field_text(std::string_view text, int width, int decimals);
// A new record's bytes: every field blank and none null.
void blank_record(const DbfHeader& header, std::string& record);
// Marks the field not null (the later layout) once a value is written to it.
void clear_null_flag(const DbfHeader& header, const FieldLayout& field, char* record);
// The empty stored form of a field (blanks).
void blank_field(const FieldLayout& field, char* record);
// The memo block number stored in a record (0 for none; throws Corrupt, naming the field, when
// the text is not a block number) and its stored form.
std::uint32_t memo_block(const FieldLayout& field, const char* record);
// Stores a memo block number into a record's field (0: no text).
void set_memo_block(const FieldLayout& field, std::uint32_t block, char* record);

// Julian day numbers of dates (0 for the empty date).
long julian_day(util::Date date);
// The date of a Julian day number (the empty date for 0).
util::Date date_of_julian_day(long day);

}  // namespace kv::db
