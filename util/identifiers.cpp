#include "util/identifiers.h"

#include <algorithm>
#include <array>

namespace kv::util {
namespace {

constexpr std::size_t kIbanLength = 27;
constexpr std::size_t kVatLength = 11;
constexpr std::size_t kFiscalCodeLength = 16;

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}
bool is_upper(char c) {
    return c >= 'A' && c <= 'Z';
}
bool is_letter(char c) {
    return is_upper(c) || (c >= 'a' && c <= 'z');
}

std::string without_trailing_blanks(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

std::string without_blanks_around(const std::string& s) {
    const auto first = s.find_first_not_of(' ');
    return first == std::string::npos ? "" : without_trailing_blanks(s.substr(first));
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    return s;
}

// The IBAN with its first four characters moved to the end and each letter written as its
// number (A = 10 ... Z = 35).
std::string iban_digits(const std::string& iban) {
    std::string digits;
    for (const char c : iban.substr(4) + iban.substr(0, 4)) {
        digits += is_digit(c) ? std::string(1, c) : std::to_string(c - 'A' + 10);
    }
    return digits;
}

// The remainder modulo 97 of a long digit string, taken 8 digits at a time (ISO 13616).
int remainder_97(const std::string& digits) {
    std::string remainder;
    for (std::size_t at = 0; at < digits.size(); at += 8) {
        remainder = std::to_string(std::stoll(remainder + digits.substr(at, 8)) % 97);
    }
    return remainder.empty() ? 0 : std::stoi(remainder);
}

// The values that characters at odd positions add to the fiscal-code sum (A or 0 first).
constexpr std::array<int, 26> kOddPositionValue = {1,  0,  5, 7, 9, 13, 15, 17, 19, 21, 2,  4,  18,
                                                   20, 11, 3, 6, 8, 12, 14, 16, 10, 22, 25, 24, 23};

}  // namespace

bool ISIBAN(const std::string& text) {
    const auto iban = without_blanks_around(text);
    if (iban.size() != kIbanLength) return false;
    if (!std::all_of(iban.begin(), iban.end(), [](char c) { return is_digit(c) || is_upper(c); })) {
        return false;
    }
    return remainder_97(iban_digits(iban)) == 1;
}

bool ISIVA(const std::string& text) {
    const auto vat = without_trailing_blanks(text);
    if (vat.size() != kVatLength || vat == std::string(kVatLength, '0')) return false;
    if (!std::all_of(vat.begin(), vat.end(), is_digit)) return false;
    int sum = 0;
    for (std::size_t i = 0; i < 10; ++i) {
        const int d = vat[i] - '0';
        // Positions 2, 4, ... (odd indexes) add the digit sum of twice their value.
        sum += i % 2 == 0 ? d : (2 * d < 10 ? 2 * d : 2 * d - 9);
    }
    return (10 - sum % 10) % 10 == vat[10] - '0';
}

bool ISCOD(const std::string& text) {
    const auto code = without_trailing_blanks(upper(text));
    if (code.size() != kFiscalCodeLength) return ISIVA(text);
    if (!is_upper(code[11]) || !is_upper(code[15])) return false;
    int sum = 0;
    for (std::size_t i = 0; i < 15; ++i) {
        const char c = code[i];
        if (!is_digit(c) && !is_upper(c)) return false;
        const int value = is_digit(c) ? c - '0' : c - 'A';
        // Positions 1, 3, ... (even indexes) are the odd positions of the standard.
        sum += i % 2 == 0 ? kOddPositionValue[value] : value;
    }
    return sum % 26 == code[15] - 'A';
}

bool ISEMAIL(const std::string& text) {
    const auto address = without_trailing_blanks(text);
    if (address.find(' ') != std::string::npos) return false;
    if (address.empty() || address.back() == '.') return false;
    if (address.find('.') == std::string::npos || address.find('@') == std::string::npos) {
        return false;
    }
    return std::all_of(address.begin(), address.end(), [](char c) {
        return is_letter(c) || is_digit(c) || c == '.' || c == '@' || c == '_' || c == '-' ||
               c == '\'';
    });
}

}  // namespace kv::util
