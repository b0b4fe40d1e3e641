#pragma once
// A packed copy put in place of its table by renames. Both finished files first get their "ready"
// names (the table's stem + ".PKD" and ".PKM"); once the ready table exists the replacement is
// decided, and an interrupted one is finished by the next open of the table
// (finish_interrupted_pack), which then rebuilds the table's own bag. The table is never missing
// and never half written: a kill at any moment leaves the old table or the packed one.
#include <functional>
#include <string>

namespace kv::db {

// The steps of a pack, for fault injection in tests.
enum class PackStep {
    Opened = 1,     // the table is open exclusively (under the system lock for MPACK_)
    CopyWritten,    // the copy and its memo are complete and on disk
    MemoReady,      // the copy's memo has its ready name
    TableReady,     // the copy has its ready name: the replacement is decided
    MemoReplaced,   // the ready memo replaced the memo file
    TableReplaced,  // the ready table replaced the table
};

// Called after each step (tests).
void set_pack_step_hook(std::function<void(PackStep)> hook);
void pack_step_reached(PackStep step);

struct PackNames {
    std::string table;       // on disk
    std::string copy;        // the copy while it is written
    std::string copy_memo;   // its memo while it is written
    std::string ready;       // the finished copy
    std::string ready_memo;  // the finished copy's memo
};
// The names of a pack of the table at that path (copy names beside it, from its stem).
PackNames pack_names(const std::string& table_path);
// The path without its extension.
std::string stem_of(const std::string& path);

// Renames over an existing file in one step and makes the rename durable.
bool replace_file(const std::string& from, const std::string& to);
// Flushes a file to disk; false when it cannot be opened or flushed.
bool sync_file(const std::string& path);

// Finishes a replacement that a pack decided but did not complete (and rebuilds the table's own
// bag over the packed records), or drops the leftovers of one that had not been decided. Does
// nothing while another open holds the table.
void finish_interrupted_pack(const std::string& table);

}  // namespace kv::db
