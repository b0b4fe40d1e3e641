#pragma once
// Named file-system operations with Windows semantics over the platform file module: folders, free
// space, full paths, attributes, file times, copy, move, delete and find. The primitives take
// their paths exactly as given (no file-name case applied, as the Windows API does), make one
// platform call and answer true/false, a number or a string; they never show a message. The
// composites COPYDIR and DELETEDIR report their first failure with an information box.
//
// A path argument that is missing (std::nullopt) is a null path: DISKFREESPACE and GETDRIVETYPE
// then mean the volume of the current folder; every other operation fails.
#include <cstdint>
#include <optional>
#include <string>

namespace kv::fs {

using OptPath = std::optional<std::string>;

// CreateDirectory, one level; the security number is accepted and ignored. False when the path
// exists (file or folder) or its parent is missing.
bool CREATEDIR(const OptPath& path, std::int64_t security = 0);
// RemoveDirectory; false when not empty, missing, read-only or the current folder.
bool REMOVEDIR(const OptPath& path);
// SetCurrentDirectory for the whole process; the current folder is unchanged on failure.
bool SETCURDIR(const OptPath& path);
// All free bytes of the volume holding the path (null: the current folder's), exact to the byte;
// 0 when the volume cannot be queried.
std::int64_t DISKFREESPACE(const OptPath& path = std::nullopt);
// GetFullPathName into 260 bytes: the absolute path ("/"-separated). "" when the path is null or
// empty, or when the result would need 260 bytes or more.
std::string FULLNAME(const OptPath& path);
// Copies the last-write time of source (file or folder) onto target (target opened for writing).
bool SETFILEDATETIME(const OptPath& source, const OptPath& target);
// CopyFile; overwrites unless fail_if_exists.
bool COPYFILE(const OptPath& source, const OptPath& target, bool fail_if_exists = false);
// MoveFile; fails when the target exists.
bool MOVEFILE(const OptPath& source, const OptPath& target);
// DeleteFile.
bool DELETEFILE(const OptPath& path);
// GetFileAttributes; -1 on failure.
std::int32_t GETFILEATTRIBUTES(const OptPath& path);
// SetFileAttributes.
bool SETFILEATTRIBUTES(const OptPath& path, std::uint32_t attributes);
// GetDriveType of a root path (null: the current folder's volume).
std::int32_t GETDRIVETYPE(const OptPath& root = std::nullopt);

// FindFirstFile: writes the first match's record into buffer (at least 320 bytes) and returns a
// search handle, or -1 when nothing matches or the buffer is too short (then nothing is written).
std::int32_t FINDFIRSTFILE(const OptPath& pattern, std::string& buffer);
// FindNextFile: the next match's record; false at the end or for an unknown handle.
bool FINDNEXTFILE(std::int32_t handle, std::string& buffer);
// FindClose; false for an unknown handle.
bool FINDCLOSE(std::int32_t handle);

// Attribute setters: read the attributes, act only when the bit is not yet as wanted, write them
// back. A path whose attributes cannot be read is left alone; failures are not reported.
void CLEARREADONLY(const OptPath& path);
// Clears the hidden attribute of a file or folder.
void CLEARHIDDEN(const OptPath& path);
// Clears the system attribute of a file or folder.
void CLEARSYSTEM(const OptPath& path);
// Sets the hidden attribute of a file or folder.
void SETHIDDEN(const OptPath& path);

// Copies a folder tree (system files are not copied). With create_target the target folder is
// created first and must not exist. Stops at the first failure with an information box.
bool COPYDIR(const std::string& source, const std::string& target, bool create_target = true);
// Deletes everything in a folder tree, read-only, hidden and system files included, and with
// remove_self the folder too. Stops at the first failure with an information box.
bool DELETEDIR(const std::string& folder, bool remove_self = true);

}  // namespace kv::fs
