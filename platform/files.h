#pragma once
// Files and folders with Windows naming on Linux. Every file operation of the program goes through
// this module, which is the one place that turns a program or device name into a path on disk:
//
// - "/" and "\" both separate components; a name beginning with either is rooted at "/".
//   Drive letters do not exist: the current drive reads as "\" and "C:" is an ordinary name.
// - Components are looked up without regard to case, one by one, as Windows does: an exact match
//   wins, otherwise the first entry of the folder that matches ignoring case (Windows-1252
//   letters). A component that matches nothing is kept as given, so a new entry gets the name asked
//   for.
// - "." and ".." are removed lexically before any look-up, as Windows does.
// - One name, one file: a name that finds an entry (ignoring case) means that entry, as it stands
//   on disk; names read from a folder listing are never re-cased.
// - File-name case: the setting applies only to a file that a call creates, and only when the
//   call asks for it with NameCase::Setting: the new file's name and extension are then turned to
//   upper case. The folder part is never changed, and folder operations are not affected. Every
//   call acts as the Windows API would (NameCase::AsGiven) unless told otherwise.
//
// Names and data are byte strings (Windows-1252 from the program, raw bytes from the device) and
// are never converted. Full paths produced here use "/" and begin with "/".
//
// Functions report failure through their result (false, nullopt, an invalid value) and record
// the reason for last_file_error(), the way Windows keeps GetLastError().
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kv::platform {

// ---- Windows attribute bits -------------------------------------------------------------------
// Folder 16; read-only 1 on a file when the owner may not write it, on a folder when set by the
// program; hidden 2 for names that begin with "." (not "." and "..") or when set by the program;
// system 4 when set by the program; archive 32 on every ordinary file; reparse point 1024 on
// symbolic links (with the bits of what they point to). Hidden and system bits that the program
// sets, and a folder's read-only bit, are kept in the extended attribute user.DOSATTRIB (as "0x" +
// hex), where the file system supports it. As on Windows, a read-only folder can still be filled
// and emptied: its permissions are never changed.
constexpr std::uint32_t ATTR_READONLY = 0x01;
constexpr std::uint32_t ATTR_HIDDEN = 0x02;
constexpr std::uint32_t ATTR_SYSTEM = 0x04;
constexpr std::uint32_t ATTR_DIRECTORY = 0x10;
constexpr std::uint32_t ATTR_ARCHIVE = 0x20;
constexpr std::uint32_t ATTR_REPARSE_POINT = 0x400;
constexpr std::uint32_t INVALID_ATTRIBUTES = 0xFFFFFFFF;

// ---- Errors -------------------------------------------------------------------------------------
// Windows error codes that the module reports.
namespace win_error {
constexpr int SUCCESS = 0;
constexpr int FILE_NOT_FOUND = 2;
constexpr int PATH_NOT_FOUND = 3;
constexpr int TOO_MANY_OPEN_FILES = 4;
constexpr int ACCESS_DENIED = 5;
constexpr int INVALID_HANDLE = 6;
constexpr int NOT_ENOUGH_MEMORY = 8;
constexpr int CURRENT_DIRECTORY = 16;
constexpr int NOT_SAME_DEVICE = 17;
constexpr int NO_MORE_FILES = 18;
constexpr int WRITE_PROTECT = 19;
constexpr int NOT_READY = 21;
constexpr int GEN_FAILURE = 31;
constexpr int SHARING_VIOLATION = 32;
constexpr int LOCK_VIOLATION = 33;
constexpr int HANDLE_DISK_FULL = 39;
constexpr int FILE_EXISTS = 80;
constexpr int INVALID_PARAMETER = 87;
constexpr int DISK_FULL = 112;
constexpr int INVALID_NAME = 123;
constexpr int DIR_NOT_EMPTY = 145;
constexpr int ALREADY_EXISTS = 183;
constexpr int FILENAME_EXCED_RANGE = 206;
constexpr int DIRECTORY = 267;  // the name is not a folder
}  // namespace win_error

// Why an operation of this module failed.
struct FileError {
    int win32 = win_error::SUCCESS;  // Windows error code
    int posix = 0;                   // errno behind it, 0 when the module itself refused
};

// The reason of the last failure of this module on the calling thread.
FileError last_file_error();
// Readable text of an error (the system's text for the errno, or a fixed one for the code).
std::string file_error_text(const FileError& error);

// ---- Names and case -----------------------------------------------------------------------------
enum class NameCase {
    Setting,  // a file that is created gets the file-name case setting
    AsGiven,  // a file that is created keeps the name as given (the Windows API's own behaviour)
};

// The file-name case setting: true turns name and extension of files to upper case.
// util's run-time settings call this; it is off until then.
void set_upper_case_file_names(bool upper);
// The file-name case setting.
bool upper_case_file_names();

// Sets the file-name case setting for the length of a scope and puts the one before it back.
class ScopedUpperCaseFileNames {
  public:
    // Sets the setting until the guard ends.
    explicit ScopedUpperCaseFileNames(bool upper) : previous_(upper_case_file_names()) {
        set_upper_case_file_names(upper);
    }
    ~ScopedUpperCaseFileNames() { set_upper_case_file_names(previous_); }
    ScopedUpperCaseFileNames(const ScopedUpperCaseFileNames&) = delete;
    ScopedUpperCaseFileNames& operator=(const ScopedUpperCaseFileNames&) = delete;

  private:
    bool previous_;
};

// A folder whose own path is used exactly as it stands: full paths below it keep its components
// unchanged (a folder named "DATA." stays "DATA."); Windows' rules for names (dots that end a
// name are dropped) apply only to what follows it. "" (the default) sets none.
void set_exact_folder(const std::string& absolute_path);
// The folder set with set_exact_folder ("" for none).
const std::string& exact_folder();

// Windows-1252 upper case of a byte string (ASCII and the accented letters).
std::string to_upper_name(std::string name);
// True when two names are equal ignoring case (Windows-1252).
bool names_equal_ignoring_case(const std::string& a, const std::string& b);

// Part of a name up to and including its last separator ("" when none), and the part after it.
std::string folder_part(const std::string& name);
// The part of a name after its last separator.
std::string file_part(const std::string& name);
// True when the last character is "/" or "\".
bool ends_with_separator(const std::string& name);

// The on-disk path of a name: absolute, "/"-separated, "." and ".." removed, each existing
// component replaced by its name on disk. Never fails; components that do not exist are kept as
// given, except a missing last component with NameCase::Setting while the setting is on, which is
// upper-cased.
std::string resolve_path(const std::string& name, NameCase name_case = NameCase::AsGiven);

// GetFullPathName: the absolute form of a name against the current folder, "/"-separated, with
// "." and ".." removed; lexical only (no disk access, case kept, a trailing separator kept).
// nullopt for an empty name or when the current folder cannot be read.
std::optional<std::string> full_path_name(const std::string& name);

// ---- Wildcards ----------------------------------------------------------------------------------
// True when the name holds "*" or "?".
bool has_wildcards(const std::string& name);
// Windows matching of a file name (no folder part) against a pattern, ignoring case: "*" any run,
// "?" one character (trailing "?"s before a "." or the end may match nothing), "*.*" and "*"
// match every name, a "." before "*"/"?" or at the end may match the end of a name (so "*." finds
// names without extension and "PROG.???" finds "PROG").
bool wildcard_match(const std::string& pattern, const std::string& name);

// ---- Times
// ----------------------------------------------------------------------------------------
// FILETIME: 100-nanosecond ticks since 1601-01-01 UTC.
using FileTime = std::uint64_t;
// The FILETIME of Unix seconds and nanoseconds.
FileTime filetime_from_unix(std::int64_t seconds, std::int64_t nanoseconds);
// Unix seconds and nanoseconds of a FILETIME.
std::pair<std::int64_t, std::int64_t> unix_from_filetime(FileTime time);

// The times of a file.
struct FileTimes {
    FileTime creation = 0;  // birth time where the file system keeps it, else last write
    FileTime last_access = 0;
    FileTime last_write = 0;
};

// ---- Entries and searches
// -------------------------------------------------------------------------
struct DirEntry {
    std::string name;  // as on disk
    std::uint32_t attributes = 0;
    std::uint64_t size = 0;  // 0 for folders
    FileTimes times;
    // True for a folder.
    bool is_folder() const { return (attributes & ATTR_DIRECTORY) != 0; }
};

// Which entries a search includes besides plain files.
struct FindOptions {
    bool folders = false;  // include folders (with "." and "..", except at the root "/")
    bool hidden = false;   // include hidden entries
    bool system = false;   // include system entries
};

// The entries of the folder part of the pattern whose names match the file part (wildcards or a
// plain name, ignoring case; a plain name finds the one entry it resolves to), in the file
// system's order with "." and ".." first. Ordinary files (read-only ones included) are always
// candidates; the options add the rest. Links count as what they point to; dangling links,
// devices, pipes and sockets are never returned. A pattern that is
// empty or ends in a separator finds nothing (callers append "*" to list a folder); a missing
// folder finds nothing.
std::vector<DirEntry> find_entries(const std::string& pattern, const FindOptions& options = {});

// The exists test: true when at least one file (not a folder; hidden and system included) matches
// the name, which may hold wildcards. A name that ends in a separator never exists.
bool file_exists(const std::string& name);
// True when the name is an existing folder.
bool folder_exists(const std::string& name);
// True when the name exists, file or folder (no wildcards).
bool path_exists(const std::string& name);
// True when a process (this one included) holds the file open through this module's shared
// opens, which every KV32 uses.
bool is_held_open(const std::string& path);
// True when the name is a symbolic link, also one whose target is missing.
bool is_link(const std::string& name);
// True when a new file can be made in the folder: it exists, and this process may write in it
// and enter it. Otherwise false, with last_file_error() telling why (a folder of a file system
// mounted read-only, one without write permission for this user).
bool folder_takes_new_files(const std::string& folder);

// Attributes of a file or folder; INVALID_ATTRIBUTES when it does not exist.
std::uint32_t file_attributes(const std::string& name);
// Sets read-only (a file's owner write permission; a folder's extended attribute), hidden and
// system (extended attribute). Folder and archive bits are ignored. Fails when the name does not
// exist, or when a bit that lives in the extended attribute is asked for and the file system keeps
// none.
bool set_file_attributes(const std::string& name, std::uint32_t attributes);

// Times of a file or folder.
std::optional<FileTimes> file_times(const std::string& name);
// Sets the last-write time only. Fails for a missing name and for a read-only file (as a write
// open would); folders are always accepted.
bool set_last_write_time(const std::string& name, FileTime time);

// ---- Open files ---------------------------------------------------------------------------------
enum class Access { Read, Write, ReadWrite };
// Windows sharing: what other opens of the same file are refused while this one is open.
enum class Share { DenyNone, DenyRead, DenyWrite, DenyAll };
enum class Disposition {
    OpenExisting,      // fail when missing
    CreateNew,         // fail when present
    CreateAlways,      // create or truncate
    OpenAlways,        // open, or create when missing
    TruncateExisting,  // fail when missing, truncate
};

// An open file. Sharing is enforced between opens of this module (in every process) by locks on
// the open file description (F_OFD_SETLK) in a byte range far beyond any data, so it does not
// collide with record locks; a program that locks the whole file excludes and is excluded.
// Opening a folder fails; opening a read-only file for writing fails with ACCESS_DENIED even for
// root, as on Windows.
class File {
  public:
    File() = default;
    ~File();
    // Takes over another file's open.
    File(File&& other) noexcept;
    // Closes this file and takes over another file's open.
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens a file; false with the reason in last_file_error().
    bool open(const std::string& name, Access access, Share share, Disposition disposition,
              NameCase name_case = NameCase::AsGiven);
    // Takes an open descriptor of a regular file (opened with O_RDONLY or O_RDWR as `access`
    // says) and claims its sharing as open() does; false, with the descriptor closed, on a
    // sharing conflict or when it is not a regular file.
    bool adopt(int fd, Access access, Share share);
    // Closes the file (nothing when it is not open); false with the platform's error when the
    // system reports a failure on closing (a write that a network file system could not finish).
    bool close();
    // True while the file is open.
    bool is_open() const { return fd_ >= 0; }

    // Reads up to count bytes from the current position; nullopt on a read error.
    std::optional<std::string> read(std::size_t count);
    // Writes every byte at the current position.
    bool write(const std::string& bytes);
    // Moves the position (origin 0 start, 1 current, 2 end); the new position or -1.
    std::int64_t seek(std::int64_t offset, int origin = 0);
    // The file's size; none on failure.
    std::optional<std::uint64_t> size() const;
    // Makes the file that long.
    bool resize(std::uint64_t size);
    // Writes what the system holds of the file to disk.
    bool flush();

    // Byte-range locks on this open (exclusive needs write access); fail at once when taken.
    bool lock(std::uint64_t offset, std::uint64_t length, bool exclusive = true);
    // Releases a byte range locked with lock.
    bool unlock(std::uint64_t offset, std::uint64_t length);

    // The file's descriptor (-1 when closed).
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

// Reads a whole file (opened for reading, denying writes to others); nullopt when it cannot be
// opened or read.
std::optional<std::string> read_whole_file(const std::string& name,
                                           NameCase name_case = NameCase::AsGiven);
// Writes a whole file at once: the bytes go to a temporary name (temporary mark, code 127, first)
// in the same folder, are flushed to disk, and the temporary file is renamed over the final name,
// so a crash never leaves a half-written file under that name. Fails, and leaves an existing file
// untouched, when the folder is missing, the name is a folder or a read-only file, another open
// denies writing, or the disk is full; last_file_error() tells which.
bool write_whole_file(const std::string& name, const std::string& bytes,
                      NameCase name_case = NameCase::AsGiven);

// ---- File and folder operations
// ------------------------------------------------------------------- DeleteFile: fails for
// folders, read-only files and files that are open through this module.
bool delete_file(const std::string& name, NameCase name_case = NameCase::AsGiven);
// MoveFile: renames a file or folder; fails when the target exists or the source is open; across
// file systems a file is copied and the source removed. The case setting applies to the target
// only when the source is a file.
bool move_file(const std::string& from, const std::string& to,
               NameCase name_case = NameCase::AsGiven);
// CopyFile: copies bytes, read-only bit, hidden/system bits and the last-write time. Fails when
// the source is missing or a folder, or the target exists and fail_if_exists is true, or the
// target is read-only or open.
bool copy_file(const std::string& from, const std::string& to, bool fail_if_exists,
               NameCase name_case = NameCase::AsGiven);

// CreateDirectory: one level; fails when the name exists (file or folder) or the parent is
// missing. The case of the new folder's name is kept.
bool create_folder(const std::string& name);
// RemoveDirectory: fails when the folder is not empty, missing, read-only, or is the process's
// current folder. A symbolic link to a folder is removed itself, as Windows removes a folder link.
bool remove_folder(const std::string& name);

// The process's current folder (absolute, "/"-separated); "" when it cannot be read.
std::string current_folder();
// SetCurrentDirectory; the current folder is unchanged on failure.
bool set_current_folder(const std::string& name);

// The free bytes of the volume that holds the name (empty: the current folder) that this user
// may use, as df's "Available" (statvfs f_bavail x f_frsize): blocks kept for the superuser are
// not counted, whoever runs the program. Nullopt when the volume cannot be queried.
std::optional<std::uint64_t> disk_free_space(const std::string& name = {});

// Windows drive-type codes.
constexpr int DRIVE_UNKNOWN = 0;
constexpr int DRIVE_NO_ROOT_DIR = 1;
constexpr int DRIVE_REMOVABLE = 2;
constexpr int DRIVE_FIXED = 3;
constexpr int DRIVE_REMOTE = 4;
constexpr int DRIVE_CDROM = 5;
constexpr int DRIVE_RAMDISK = 6;
// GetDriveType of the volume holding a folder (empty or "\": the current folder's); network
// file systems are remote, tmpfs a RAM disk, iso9660/udf a CD-ROM; a missing folder (such as a
// drive letter "C:\", which Linux does not have) is DRIVE_NO_ROOT_DIR.
int drive_type(const std::string& root = {});

// The temporary folder: TEMP when set, else TMPDIR, else /tmp.
std::string temp_folder();

}  // namespace kv::platform
