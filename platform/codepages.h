#pragma once
// The two code pages of an Italian Windows: program texts are Windows-1252 (ANSI), old console
// texts are code page 850 (OEM).
#include <string>
#include <string_view>

namespace kv::platform {

// Converts code page 850 bytes to Windows-1252, as Windows' OEM-to-ANSI conversion does:
// characters that Windows-1252 lacks become their nearest look-alike.
std::string oem_to_ansi(std::string_view oem);

// Decodes Windows-1252 bytes to UTF-8 (for terminals and the window layer).
std::string ansi_to_utf8(std::string_view ansi);

// The Unicode code point of one Windows-1252 byte.
char32_t ansi_to_unicode(unsigned char byte);

}  // namespace kv::platform
