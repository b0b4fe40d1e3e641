#pragma once
// How key values become the bytes an index bag compares: character keys as their padded bytes,
// numbers as 8 bytes of their double that sort as the numbers do, dates as the number of their
// Julian day, logicals as "T" or "F".
#include <optional>
#include <string>

#include "db/language.h"

namespace kv::db {

enum class KeyType { Character, Numeric, Date, Logical };

// The key type of an expression's result type; none for a type no key can have.
std::optional<KeyType> key_type_of(char result_type);
// The pad byte of the type's keys in leaves.
char key_pad(KeyType type);
// The fixed key length of the non-character types.
std::size_t fixed_key_length(KeyType type);
// The 8 bytes of a number's key, which sort as the numbers do.
std::string number_key(double value);
// The stored key of a value; nullopt when the value is not of the key's type.
std::optional<std::string> key_bytes(const Value& value, KeyType type, std::size_t key_length);
// The bytes a seek compares: character values as given (a prefix, at most the key length).
std::optional<std::string> seek_bytes(const Value& value, KeyType type, std::size_t key_length);

}  // namespace kv::db
