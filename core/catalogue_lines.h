#pragma once
// The fixed-width lines of a catalogue: 32 characters each, padded with spaces or cut.
#include <cstdint>
#include <string>

#include "core/stored_file.h"

namespace kv::core {

constexpr std::size_t kCatalogueWidth = 32;

std::string blank_line();
std::string title_line();
std::string folder_path_line(const std::string& path);
// A folder: its name in 10 characters, then " DIR".
std::string folder_line(const std::string& name);
// What a stored file's line says after its name: "BAS" (with " LINE " and param2 when param2 is
// not 0) or "CDE", param1, length and, when not 0, param2.
std::string stored_file_words(const StoredHeader& header);
// A stored file: its name in 11 characters, then "BAS" (with " LINE " and param2 when param2 is
// not 0) or "CDE", param1, length and, when not 0, param2.
std::string stored_file_line(const std::string& name, const StoredHeader& header);
// "No. of Free K-Bytes = " and the free kilobytes left-aligned in 10 characters; a figure of more
// than 10 digits is shown whole.
std::string free_space_line(std::uint64_t free_bytes);
std::string count_line(unsigned count);

}  // namespace kv::core
