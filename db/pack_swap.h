#pragma once
// A pack put in place of its table, so that a kill at any moment leaves a table that every reader
// reads right, the old one or the packed one, never missing and never half written, and never a
// table beside a memo file that is not its own. Memo texts are first copied after the end of the
// memo file (blocks that no record uses); an interim copy of the packed records that points at
// them replaces the table by a rename; then the texts are written to their packed blocks (which
// the interim copy no longer uses), the packed copy replaces the table, and the memo file is cut
// after the packed blocks. Only the table is ever renamed; each rename is one step.
//
// Packs of earlier versions put a finished copy and its memo file in place by two renames from
// their "ready" names (the stem + ".PKD" and ".PKM"); the next open of the table finishes such a
// replacement (finish_interrupted_pack), and drops the leftovers of any pack that stopped.
#include <functional>
#include <string>

namespace kv::db {

// The steps of a pack, for fault injection in tests.
enum class PackStep {
    Opened = 1,       // the table is open exclusively (under the system lock for MPACK_)
    CopyWritten,      // both copies, and the texts after the memo file's end, are on disk
    InterimReplaced,  // the interim copy replaced the table: the records are packed
    MemoPacked,       // the texts are in their packed blocks as well
    TableReplaced,    // the packed copy replaced the table
    MemoCut,          // the memo file ends after the packed blocks
};

// Called after each step (tests).
void set_pack_step_hook(std::function<void(PackStep)> hook);
void pack_step_reached(PackStep step);

struct PackNames {
    std::string table;       // on disk
    std::string copy;        // the packed copy while it is written
    std::string copy_memo;   // a fresh memo file while it is written (zap)
    std::string interim;     // the interim copy (its memos after the memo file's old end)
    std::string ready;       // an earlier version's finished copy
    std::string ready_memo;  // an earlier version's finished copy's memo
};
// The names of a pack of the table at that path (copy names beside it, from its stem).
PackNames pack_names(const std::string& table_path);
// The path without its extension.
std::string stem_of(const std::string& path);

// Renames over an existing file in one step and makes the rename durable; false with errno set
// when either fails (renamed tells which: the file may be in place, not yet on disk).
bool replace_file(const std::string& from, const std::string& to, bool* renamed = nullptr);
// Flushes a file to disk; false when it cannot be opened, flushed or closed.
bool sync_file(const std::string& path);
// Flushes the folder that holds a path, so that renames and new names in it are on disk; 0 or
// the errno.
int sync_folder(const std::string& path);

// Drops the copies of a pack that stopped, or finishes an earlier version's replacement that was
// decided; either way the table's own bag is then built again over the records. Does nothing
// while another open holds the table.
void finish_interrupted_pack(const std::string& table);

}  // namespace kv::db
