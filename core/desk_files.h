#pragma once
// The device's files at the desk: kvfile and the window's file view bring PC files in as stored
// files, take their data out, and keep the served tree's folders, by the rules the device's own
// commands follow (the names a Save refuses are refused here, a stored file is never replaced
// unasked, only stored files and empty folders are ever removed). Names are device names taken
// from the served root: "GAMES/PROG" and "/GAMES/PROG" are the same file. Every stored file is
// written with the Save's atomic write.
#include <cstdint>
#include <string>

#include "core/stored_file.h"

namespace kv::core {

// The most data bytes a stored file can announce in its 16-bit length.
constexpr std::uint64_t kLargestStoredData = 65535;

// Why the desk refuses an operation.
enum class DeskFault {
    None,
    NoName,         // the name is empty, or names no file (it ends in a separator)
    Wildcard,       // a part holds "*" or "?": no Load could name it
    SpacesAndDots,  // a part is nothing but spaces and dots
    LeadingDot,     // a part begins with ".": hidden from the catalogue and Erase
    NotOnDisk,      // too long for the served folder's file system (detail: why)
    Separator,      // a new name for an entry is one part, without "/" or "\"
    SettingsFile,   // the settings file's name
    Link,           // a link of that name exists
    NoFolder,       // the folder it would go into does not exist
    FolderRefuses,  // that folder takes no new files (detail: the system's reason)
    StoredExists,   // a stored file of that name exists (replace it only when asked to)
    OtherExists,    // a file that is not a stored file has that name: never replaced
    FolderExists,   // a folder of that name exists
    TooLarge,       // more than 65,535 data bytes (detail: the size)
    NotFound,       // no stored file or folder of that name
    NotStored,      // the file is not a stored file (detail: what it is)
    HoldsCurrent,   // the device's current folder, or a folder that holds it
    NotEmpty,       // a folder that still holds something
    DiskError,      // the system refused (detail: its reason)
};

// An operation's outcome: no fault, or the fault with its detail.
struct DeskResult {
    DeskFault fault = DeskFault::None;
    std::string detail;
    bool ok() const { return fault == DeskFault::None; }
};

// The reason in English words, for kvfile's messages.
std::string desk_fault_text(const DeskResult& result);

// The disk path of a device name inside the served tree.
std::string desk_path(const std::string& name);

// Whether a new stored file could be written under the name (`replace`: an existing stored file
// may be replaced).
DeskResult check_new_file(const std::string& name, bool replace);
// Writes a stored file: the header (its length the data's size) and the data.
DeskResult import_stored(const std::string& name, const std::string& data, StoredHeader header,
                         bool replace);

// A stored file as read from disk.
struct StoredContent {
    StoredHeader header;
    std::string data;     // what the file holds after its header, as a Load sends it
    std::string on_disk;  // the file's disk path
};
// Reads a stored file.
DeskResult read_stored(const std::string& name, StoredContent& content);

// Whether a folder could be made under the name, and making it.
DeskResult check_new_folder(const std::string& name);
DeskResult make_folder(const std::string& name);
// Gives a stored file or folder a new name in its own folder, never replacing anything.
DeskResult check_rename(const std::string& name, const std::string& new_name);
DeskResult rename_entry(const std::string& name, const std::string& new_name);
// Deletes a stored file or removes an empty folder.
DeskResult erase_entry(const std::string& name);

// A PC file's bytes; one larger than a stored file holds is refused before it is read whole.
DeskResult read_pc_file(const std::string& path, std::string& data);
// Writes a PC file whole: into a new file beside it, then put in its place, so that the name
// never holds half of it. An existing file is replaced only with `replace` (else StoredExists
// is not the fault: OtherExists is), a folder never.
DeskResult write_pc_file(const std::string& path, const std::string& data, bool replace);

// The name proposed for a PC file on the device: its name without folder and extension, upper
// case, without what the device could not use, at most 10 characters (the catalogue shows a
// file's name whole up to that length); "FILE" when nothing is left.
std::string propose_stored_name(const std::string& pc_file);

// A program for a PC file that looks like one (".bas"), else code.
StoredHeader proposed_header(const std::string& pc_file);

}  // namespace kv::core
