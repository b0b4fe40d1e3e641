#include "util/identifiers.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace kv::util {
namespace {

// ---- References computed from the published rules, independently of the library -------------

// ISO 7064 mod 97-10 of an IBAN body, one digit at a time.
int iban_mod97(const std::string& rearranged) {
    int r = 0;
    for (const char c : rearranged) {
        const std::string digits = std::isdigit(static_cast<unsigned char>(c))
                                       ? std::string(1, c)
                                       : std::to_string(c - 'A' + 10);
        for (const char d : digits) r = (r * 10 + (d - '0')) % 97;
    }
    return r;
}

// An Italian IBAN with its check digits: "IT", 98 - (BBAN + "IT00") mod 97, the BBAN.
std::string make_iban(const std::string& bban) {
    const int check = 98 - iban_mod97(bban + "IT00");
    return "IT" + std::string(check < 10 ? "0" : "") + std::to_string(check) + bban;
}

// Luhn: from the right, every second digit before the check digit is doubled (digit sum).
char luhn_check_digit(const std::string& ten_digits) {
    int sum = 0;
    for (int i = 9, doubled = 1; i >= 0; --i, doubled ^= 1) {
        int d = ten_digits[static_cast<std::size_t>(i)] - '0';
        if (doubled) d = d * 2 > 9 ? d * 2 - 9 : d * 2;
        sum += d;
    }
    return static_cast<char>('0' + (10 - sum % 10) % 10);
}

// The check letter of a fiscal code from the conversion tables of the standard.
char fiscal_check_letter(const std::string& first15) {
    static const std::map<char, int> odd = {
        {'0', 1},  {'1', 0},  {'2', 5},  {'3', 7},  {'4', 9},  {'5', 13}, {'6', 15}, {'7', 17},
        {'8', 19}, {'9', 21}, {'A', 1},  {'B', 0},  {'C', 5},  {'D', 7},  {'E', 9},  {'F', 13},
        {'G', 15}, {'H', 17}, {'I', 19}, {'J', 21}, {'K', 2},  {'L', 4},  {'M', 18}, {'N', 20},
        {'O', 11}, {'P', 3},  {'Q', 6},  {'R', 8},  {'S', 12}, {'T', 14}, {'U', 16}, {'V', 10},
        {'W', 22}, {'X', 25}, {'Y', 24}, {'Z', 23}};
    int sum = 0;
    for (std::size_t pos = 1; pos <= 15; ++pos) {
        const char c = first15[pos - 1];
        const int even = std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : c - 'A';
        sum += pos % 2 == 1 ? odd.at(c) : even;
    }
    return static_cast<char>('A' + sum % 26);
}

std::string with_digit_changed(std::string s, std::size_t at) {
    s[at] = static_cast<char>('0' + (s[at] - '0' + 1) % 10);
    return s;
}

// ---- IBAN ---------------------------------------------------------------------------------------

TEST(Iban, KnownGoodAndComputedIbans) {
    EXPECT_EQ(make_iban("X0542811101000000123456"), "IT60X0542811101000000123456");
    EXPECT_TRUE(ISIBAN("IT60X0542811101000000123456"));
    EXPECT_TRUE(ISIBAN("  IT60X0542811101000000123456 "));
    for (const char* bban : {"A0306909606100000063123", "Z9999999999999999999999",
                             "B0000000000000000000001", "Q12345ABCDE0000000000XY"}) {
        EXPECT_TRUE(ISIBAN(make_iban(bban))) << bban;
    }
}

TEST(Iban, EveryChangedDigitIsRefused) {
    const std::string good = "IT60X0542811101000000123456";
    for (std::size_t at = 0; at < good.size(); ++at) {
        if (std::isdigit(static_cast<unsigned char>(good[at]))) {
            EXPECT_FALSE(ISIBAN(with_digit_changed(good, at))) << at;
        }
    }
    EXPECT_FALSE(ISIBAN("IT60Y0542811101000000123456"));
}

// Only a final remainder of 1 is accepted, for every pair of check digits.
TEST(Iban, OnlyRemainderOneIsAccepted) {
    const std::string bban = "X0542811101000000123456";
    for (int check = 0; check < 100; ++check) {
        const std::string iban =
            "IT" + std::string(check < 10 ? "0" : "") + std::to_string(check) + bban;
        EXPECT_EQ(ISIBAN(iban), iban_mod97(bban + iban.substr(0, 4)) == 1) << iban;
    }
}

TEST(Iban, LengthCaseAndCharacters) {
    const std::string good = "IT60X0542811101000000123456";
    EXPECT_FALSE(ISIBAN(good.substr(0, 26)));
    EXPECT_FALSE(ISIBAN(good + "7"));
    EXPECT_FALSE(ISIBAN("it60x0542811101000000123456"));
    EXPECT_FALSE(ISIBAN("IT60x0542811101000000123456"));
    EXPECT_FALSE(ISIBAN("IT60X05428-1101000000123456"));
    EXPECT_FALSE(ISIBAN("IT60X0542811101 00000123456"));
    EXPECT_FALSE(ISIBAN(""));
    EXPECT_FALSE(ISIBAN(std::string(27, ' ')));
    // A valid IBAN of another country and length.
    EXPECT_FALSE(ISIBAN("DE89370400440532013000"));
}

// ---- VAT number ---------------------------------------------------------------------------------

// Bases spread over the range, so that every check digit occurs.
TEST(Vat, ComputedNumbersAndOneOffCheckDigits) {
    std::set<char> check_digits;
    for (long long n = 1; n < 10'000'000'000LL; n += 98'765'432LL) {
        std::string base = std::to_string(n);
        base.insert(0, 10 - base.size(), '0');
        const std::string good = base + luhn_check_digit(base);
        check_digits.insert(good[10]);
        ASSERT_TRUE(ISIVA(good)) << good;
        ASSERT_TRUE(ISIVA(good + "   ")) << good;
        for (std::size_t at = 0; at < good.size(); ++at) {
            ASSERT_FALSE(ISIVA(with_digit_changed(good, at))) << good << " at " << at;
        }
    }
    EXPECT_EQ(check_digits.size(), 10u);
}

TEST(Vat, RefusesWhatIsNoElevenDigitNumber) {
    EXPECT_FALSE(ISIVA("00000000000"));
    EXPECT_FALSE(ISIVA("0123456789"));
    EXPECT_FALSE(ISIVA("012345678970"));
    EXPECT_FALSE(ISIVA(" 0123456789"));
    EXPECT_FALSE(ISIVA("0123456789A"));
    // Letters whose codes would pass the sum.
    EXPECT_FALSE(ISIVA("0123456789:"));
    EXPECT_FALSE(ISIVA(""));
}

// ---- Fiscal code --------------------------------------------------------------------------------

TEST(FiscalCode, ComputedCodesInEitherCase) {
    for (const std::string first15 :
         {"RSSMRA85T10A562", "VRDGPP13R10B293", "BNCLRA70A41F205", "RSSMRALRTMLARNM"}) {
        const std::string good = first15 + fiscal_check_letter(first15);
        EXPECT_TRUE(ISCOD(good)) << good;
        std::string lower = good;
        for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_TRUE(ISCOD(lower)) << lower;
        EXPECT_TRUE(ISCOD(good + "  ")) << good;
        std::string wrong = good;
        wrong[15] = static_cast<char>('A' + (good[15] - 'A' + 1) % 26);
        EXPECT_FALSE(ISCOD(wrong)) << wrong;
    }
    EXPECT_EQ(fiscal_check_letter("RSSMRA85T10A562"), 'S');
}

TEST(FiscalCode, EveryChangedDigitIsRefused) {
    const std::string good = "RSSMRA85T10A562S";
    for (std::size_t at = 0; at < 15; ++at) {
        if (std::isdigit(static_cast<unsigned char>(good[at]))) {
            EXPECT_FALSE(ISCOD(with_digit_changed(good, at))) << at;
        }
    }
}

TEST(FiscalCode, ShapeOfTheCode) {
    const std::string good = "RSSMRA85T10A562S";
    EXPECT_FALSE(ISCOD(good.substr(0, 15)));
    EXPECT_FALSE(ISCOD(good + "X"));
    // The twelfth character must be a letter; the check letter must be a letter.
    const std::string digit12 = "RSSMRA85T1005620";
    EXPECT_FALSE(ISCOD(digit12.substr(0, 15) + fiscal_check_letter("RSSMRA85T100562")));
    EXPECT_FALSE(ISCOD("RSSMRA85T10A5621"));
    EXPECT_FALSE(ISCOD("RSSMRA85T10A56-S"));
    EXPECT_FALSE(ISCOD("RSSMRA85T10A56\xC8S"));
    EXPECT_FALSE(ISCOD(" RSSMRA85T10A562"));
}

TEST(FiscalCode, ElevenDigitsAnswerAsVat) {
    const std::string vat = std::string("0123456789") + luhn_check_digit("0123456789");
    EXPECT_TRUE(ISCOD(vat));
    EXPECT_FALSE(ISCOD(with_digit_changed(vat, 10)));
    EXPECT_FALSE(ISCOD("00000000000"));
}

// ---- E-mail -------------------------------------------------------------------------------------

TEST(Email, PlausibleAddresses) {
    for (const char* address :
         {"mario.rossi@example.it", "o'brien@mail.ie", "a_b-c@x.it", "MARIO@EXAMPLE.IT",
          "m@b.it   ", "@a.b", "a.b@c", ".a@b", "a@b.c@d"}) {
        EXPECT_TRUE(ISEMAIL(address)) << address;
    }
}

TEST(Email, RefusedAddresses) {
    for (const char* address :
         {"mario@example", "mario.rossi", "mario@example.it.", " m@b.it", "ma rio@b.it", "m@b.it\t",
          "m+x@b.it", "m@b,it", "", "   ", "per\xF9@b.it", "a@b.", "@."}) {
        EXPECT_FALSE(ISEMAIL(address)) << address;
    }
}

}  // namespace
}  // namespace kv::util
