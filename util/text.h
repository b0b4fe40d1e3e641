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
// A line as a log shows it: bytes below 0x20, 0x7F and the five bytes that Windows-1252 leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) written as \xNN, so that names from a
// device or a shared folder can neither start a line of their own nor send control sequences to
// a terminal.
std::string escape_log_text(const std::string& line);

}  // namespace kv::util
