#pragma once
// Program texts are Windows-1252 bytes; Qt shows Unicode.
#include <QString>
#include <string>
#include <string_view>

namespace kv::gui {

QString from_ansi(std::string_view bytes);

}  // namespace kv::gui
