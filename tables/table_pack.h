#pragma once
// Packing a table through a copy written beside it. The copy replaces the table and its memo
// file by renames: first both finished files get their "ready" names (the table's stem + ".PKD"
// and ".PKM"); once the ready table exists the replacement is decided, and an interrupted one is
// finished by the next open of the table (finish_interrupted_pack). The table is never missing
// and never half written. The table's own bag (same name, ".NTX"), when present, is rebuilt
// after the replacement, since the records have moved.
#include <functional>
#include <string>

namespace kv::db {

// The steps of a pack, for fault injection in tests.
enum class PackStep {
    Opened = 1,     // the table is open exclusively under the system lock
    CopyWritten,    // the copy and its memo are complete and on disk
    MemoReady,      // the copy's memo has its ready name
    TableReady,     // the copy has its ready name: the replacement is decided
    MemoReplaced,   // the ready memo replaced the memo file
    TableReplaced,  // the ready table replaced the table
};

// Called after each step (tests).
void set_pack_step_hook(std::function<void(PackStep)> hook);

// Finishes a replacement that a pack decided but did not complete, or drops the leftovers of one
// that had not been decided. Does nothing while another open holds the table.
void finish_interrupted_pack(const std::string& table);

}  // namespace kv::db
