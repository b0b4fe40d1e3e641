#pragma once
// Program texts are Windows-1252 bytes; Qt shows Unicode.
#include <QString>
#include <string>
#include <string_view>

namespace kv::gui {

// Windows-1252 bytes as Qt text.
QString from_ansi(std::string_view bytes);
// Back to Windows-1252; a character that the code page lacks becomes "?".
std::string to_ansi(const QString& text);

}  // namespace kv::gui
