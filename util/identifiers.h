#pragma once
// Checks of the identifiers an Italian business program stores. Each answers true or false and
// shows nothing.
#include <string>

namespace kv::util {

// True for a 27-character IBAN (Italian length; blanks around it allowed) of digits and upper-case
// letters whose check digits are right (remainder 1 modulo 97).
bool ISIBAN(const std::string& text);
// True for an 11-digit VAT number (partita IVA) whose Luhn check digit is right; never for
// "00000000000". Trailing blanks are allowed.
bool ISIVA(const std::string& text);
// True for a 16-character fiscal code (codice fiscale, either case) whose check letter is right,
// or for a text that ISIVA accepts.
bool ISCOD(const std::string& text);
// True when text looks like an e-mail address: no blank before its trailing blanks, at least one
// "@" and one ".", not ending in ".", and otherwise only letters, digits, "_", "-" and "'".
bool ISEMAIL(const std::string& text);

}  // namespace kv::util
