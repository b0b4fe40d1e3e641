#include "db/cdx_keys.h"

#include <cstdint>
#include <cstring>

#include "db/dbf_layout.h"

namespace kv::db {

std::optional<KeyType> key_type_of(char result_type) {
    switch (result_type) {
        case 'C':
            return KeyType::Character;
        case 'N':
            return KeyType::Numeric;
        case 'D':
            return KeyType::Date;
        case 'L':
            return KeyType::Logical;
        default:
            return std::nullopt;
    }
}

char key_pad(KeyType type) {
    return type == KeyType::Character ? ' ' : '\0';
}

std::size_t fixed_key_length(KeyType type) {
    return type == KeyType::Logical ? 1 : 8;
}

std::string number_key(double value) {
    if (value == 0) value = 0;  // -0 sorts with 0
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    bits = (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
    std::string key(8, '\0');
    for (int i = 0; i < 8; ++i)
        key[static_cast<std::size_t>(i)] = static_cast<char>(bits >> (56 - 8 * i));
    return key;
}

std::optional<std::string> key_bytes(const Value& value, KeyType type, std::size_t key_length) {
    switch (type) {
        case KeyType::Character: {
            const auto* text = std::get_if<std::string>(&value);
            if (text == nullptr) return std::nullopt;
            std::string key = text->substr(0, key_length);
            key.resize(key_length, ' ');
            return key;
        }
        case KeyType::Numeric: {
            const auto* number = std::get_if<double>(&value);
            if (number == nullptr) return std::nullopt;
            return number_key(*number);
        }
        case KeyType::Date: {
            const auto* date = std::get_if<util::Date>(&value);
            if (date == nullptr) return std::nullopt;
            return number_key(static_cast<double>(julian_day(*date)));
        }
        case KeyType::Logical: {
            const auto* flag = std::get_if<bool>(&value);
            if (flag == nullptr) return std::nullopt;
            return std::string(1, *flag ? 'T' : 'F');
        }
    }
    return std::nullopt;
}

std::optional<std::string> seek_bytes(const Value& value, KeyType type, std::size_t key_length) {
    if (type == KeyType::Character) {
        const auto* text = std::get_if<std::string>(&value);
        if (text == nullptr) return std::nullopt;
        return text->substr(0, key_length);
    }
    return key_bytes(value, type, key_length);
}

}  // namespace kv::db
