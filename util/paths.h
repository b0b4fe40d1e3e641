#pragma once
// Path, folder and file-name functions of the library. Folders may be written with "/" or "\".
// Linux has no drive letters: the current drive reads as "\", so no drive letter is ever added.
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

namespace kv::util {

// The name inside the folder: folder + "/" + name, without doubling a separator ("" = current).
std::string join_path(const std::string& folder, const std::string& name);

// True when the name is a folder that can be made current; the current folder is left as it was.
bool DIR_(const std::string& name);
// The folder part of the name's full path ("/" for a name in the root folder).
std::string FULLPATH(const std::string& name);
// The current folder between separators ("/" for the root folder). There are no drive letters,
// so the drive is ignored.
std::string CURPATH(const std::string& drive = "");
// The path shortened to fit width ("\..." standing for the folders left out), padded with blanks
// to width.
std::string SHORTPATH(const std::string& path, int width);

// Erases each file directly inside the folder, hidden ones included, and stops at the first that
// cannot be erased. Reports nothing.
void DELDIR(const std::string& folder);
// The bare names of the files (hidden ones included) matching each pattern in turn; a name that
// matches two patterns comes twice.
std::vector<std::string> WILDEXP(const std::vector<std::string>& patterns);
// Drive names such as "A:" of kind 0 (all), 1 (diskette) or 2 (others). Linux has no drive
// letters, so the list is always empty.
std::vector<std::string> ADISK(int kind = 0);

// The next line of an open file (lines end in CR LF) cut to maximum bytes, or nothing at its end.
// The file position moves past the line's CR LF (past the two bytes after the cut for a longer
// line). A last line without CR LF is returned as it stands.
std::optional<std::string> FREADLINE(platform::File& file, std::size_t maximum = 128);

// Table and index files: existence, erasing (0 done, -1 failed), copying over the destination and
// moving (true when done).
bool ISTABLE(const std::string& file);
// True when the index file exists.
bool ISINDEX(const std::string& file);
// Erases a table with its memo file: 0 done, -1 failed.
int DELETETABLE(const std::string& file);
// Erases an index file: 0 done, -1 failed.
int DELETEINDEX(const std::string& file);
// Copies a table with its memo file over the destination; true when done.
bool COPYTABLE(const std::string& source, const std::string& destination);
// Copies an index file over the destination; true when done.
bool COPYINDEX(const std::string& source, const std::string& destination);
// Moves a table with its memo file; true when done.
bool MOVETABLE(const std::string& source, const std::string& destination);
// Moves an index file; true when done.
bool MOVEINDEX(const std::string& source, const std::string& destination);

}  // namespace kv::util
