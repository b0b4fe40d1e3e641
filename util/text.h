#pragma once
// Small operations on byte strings that several library functions share.
#include <cstddef>
#include <string>

namespace kv::util {

// Without leading and trailing blanks (spaces).
std::string trim_blanks(const std::string& text);
// Without trailing blanks.
std::string trim_trailing_blanks(const std::string& text);
// ASCII letters turned to upper case; every other byte unchanged.
std::string ascii_upper(std::string text);
// Padded with blanks to exactly width bytes, or cut to width when longer.
std::string pad_right(const std::string& text, std::size_t width);

}  // namespace kv::util
