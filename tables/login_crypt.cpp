#include <charconv>
#include <cmath>
#include <string>

#include "tables/login.h"

namespace kv::db {
namespace {

// The plain decimal form of a number: no exponent, no blanks, no trailing zeros of decimals.
std::string plain_decimal(double number) {
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
    return std::string(buffer, result.ptr);
}

}  // namespace

Value CRYPT(const Value& value) {
    // An empty value (a text of blanks alone, the number 0) comes back unchanged.
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (text->find_first_not_of(" \t\r\n") == std::string::npos) return value;
        std::string scrambled = *text;
        for (char& c : scrambled) c = static_cast<char>(static_cast<unsigned char>(c) ^ 0x80);
        return scrambled;
    }
    if (const auto* number = std::get_if<double>(&value)) {
        if (!std::isfinite(*number) || *number == 0.0) return value;
        const auto digits = static_cast<double>(plain_decimal(*number).size());
        return std::pow(10.0, digits) - 1.0 - *number;
    }
    return value;
}

}  // namespace kv::db
