#pragma once
// The code pages that a table's header may name (byte 29, its code-page mark): the mark of each,
// and the conversion of a table's stored text to and from UTF-8. The engine itself keeps the
// stored bytes; tools that show or take text convert at their edge.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv::db {

// The code pages a table may be written in.
const std::vector<int>& known_code_pages();
// The code page of a header's mark (0, "none", is Windows-1252 as every reader takes it);
// nullopt for a mark this engine does not know.
std::optional<int> code_page_of_mark(std::uint8_t mark);
// The mark that names a code page in a new header; nullopt for a code page not known.
std::optional<std::uint8_t> mark_of_code_page(int code_page);

// Stored text in that code page as UTF-8 (a code page not known reads as Windows-1252).
std::string text_to_utf8(std::string_view stored, int code_page);
// UTF-8 text as stored in that code page; nullopt with the reason when the text is not UTF-8
// (overlong forms and surrogates included) or holds a character that the code page lacks.
std::optional<std::string> text_from_utf8(std::string_view utf8, int code_page, std::string& error);

}  // namespace kv::db
