#pragma once
// A program's manual source: the text that its --help prints, word for word, and the manual page
// made from the same text (plus sections only the manual page carries). docs/manual-pages.md
// describes the layout of a source.
#include <optional>
#include <string>
#include <string_view>

namespace kv::manual {

struct ManualSource {
    std::string program;      // "kv32"
    std::string summary;      // the NAME section's one-line summary
    std::string help;         // printed by --help exactly as written
    std::string manual_only;  // sections after the ".manual" line
};

// Splits a source into its parts; nothing, with `error` set, when its first line is not
// "PROGRAM - summary" or no help text follows.
std::optional<ManualSource> parse_manual_source(std::string_view text, std::string& error);

// A C++ header that defines the help text as kv::help::<program> (non-identifier characters of
// the program's name become "_").
std::string help_header(const ManualSource& source);

// The manual page in roff (man macros), section 1.
std::string man_page(const ManualSource& source, const std::string& version);

}  // namespace kv::manual
