#pragma once
// The device's side of the Print command: one line per "P" command, a form feed line for each
// form-feed character, and an end-of-text line at the end of the document.
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "tools/kvdev/cli.h"
#include "tools/kvdev/commands.h"

namespace kv::dev {

constexpr char kFormFeedLine = '\x0c';
constexpr char kEndOfTextLine = '\x03';

// The lines a text file becomes: its lines (LF or CR LF ended), each form-feed character a line
// of its own, and the end-of-text line last.
std::vector<std::string> print_lines(const std::string& text);

// The text in the device's Windows-1252, converted from `encoding` (an iconv name, such as the
// locale's "UTF-8"); nothing, with `error` naming the line, when a character has no
// Windows-1252 form or the text is not valid in that encoding.
std::optional<std::string> to_windows_1252(const std::string& text, const std::string& encoding,
                                           std::string& error);

// Sends one Print command; returns the status byte.
std::uint8_t print_line(DeviceLink& link, const std::string& line, Patience patience = {});

int cli_print(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err);

}  // namespace kv::dev
