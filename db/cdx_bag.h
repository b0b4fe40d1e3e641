#pragma once
// An index bag: one file holding several tags, each a tree of 512-byte nodes behind a 1024-byte
// header, with a directory tree (the tag names) behind the header at offset 0. Decoded nodes are
// cached; in a shared bag every use runs inside the index pool lock, and a change counter in the
// directory header (bytes 8-11) tells other processes to drop their cached nodes.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/cdx_keys.h"
#include "db/cdx_node.h"
#include "db/node_cache.h"
#include "platform/files.h"

namespace kv::db {

inline constexpr std::size_t kTagHeaderSize = 1024;
inline constexpr std::size_t kMaxKeyLength = 240;
inline constexpr std::size_t kTagNameLength = 10;

// A tag's header: its name, place in the file, root node, key and condition.
struct TagHeader {
    std::string name;  // upper case, without padding
    std::uint32_t header_offset = 0;
    std::uint32_t root = 0;
    std::size_t key_length = 0;
    bool unique = false;
    bool descending = false;
    std::string key_text;
    std::string for_text;
    char pad = ' ';  // set by whoever knows the key type
};

// A place in a tag: a leaf, decoded, and an index into it (index == size: past the end).
struct TagPosition {
    std::shared_ptr<const Node> leaf;
    std::size_t index = 0;
    // True while the position is on an entry.
    bool valid() const { return leaf && index < leaf->entries.size(); }
    // The entry at the position.
    const NodeEntry& entry() const { return leaf->entries[index]; }
};

// An open index bag (see the top of this file).
class IndexBag {
  public:
    // Opens an existing bag or creates an empty one; false with the platform's error. Throws
    // Corrupt for an existing bag of 0 bytes: it is never taken for a new one.
    bool open(const std::string& name, bool shared, bool read_only, bool create);
    // Closes the bag's file; false with the platform's error.
    bool close();
    // The bag's file name as opened.
    const std::string& file_name() const { return name_; }
    // True when the bag is open for shared use.
    bool shared() const { return shared_; }

    // The tags in the order they were made (their headers' order in the file).
    std::vector<TagHeader>& tags() { return tags_; }

    // The change in progress recorded in the directory's header (bytes 16-19): 0 none, a record
    // number while that record's keys change, kPendingAll while every tag is rebuilt (pack,
    // zap). Left behind by a process that died in the middle, it tells the next open that the
    // tags may disagree with the table. Set and cleared inside a change (begin(true)).
    static constexpr std::uint32_t kPendingAll = 0xFFFFFFFF;
    // The change in progress recorded in the bag.
    std::uint32_t pending();
    // Records the change in progress.
    void set_pending(std::uint32_t what);

    // Use of the bag: reading or changing, nested freely (a change inside a read is not allowed).
    void begin(bool write);
    // Ends a use begun with begin.
    void end();

    // Adds a tag (replacing one of the same name) whose leaves hold the sorted entries; keys are
    // key-length bytes each, back to back.
    void add_tag(TagHeader tag, const std::string& keys, const std::vector<std::uint32_t>& recnos);
    // Removes a tag and its nodes' place in the directory.
    void remove_tag(const std::string& name);

    // Tree operations on a tag.
    // The first entry not below (prefix, recno) comparing only the prefix's bytes of each key;
    // recno 2^32 passes every entry with that prefix.
    TagPosition lower_bound(const TagHeader& tag, std::string_view prefix, std::uint64_t recno);
    // The tag's first entry.
    TagPosition first(const TagHeader& tag);
    // The tag's last entry.
    TagPosition last(const TagHeader& tag);
    // Moves a position one entry forward (direction 1) or back (-1).
    void step(const TagHeader& tag, TagPosition& position, int direction);
    // Adds an entry for a record's key.
    void insert(TagHeader& tag, const std::string& key, std::uint32_t recno);
    // Removes a record's entry; false when it was not there.
    bool remove(TagHeader& tag, const std::string& key, std::uint32_t recno);
    // Gives the entry of a key held by one record alone to another record, in one write; false
    // (nothing written) when there is no such entry or the node cannot take the new number.
    bool renumber(TagHeader& tag, const std::string& key, std::uint32_t from, std::uint32_t to);
    // Entries from a to b inclusive (both valid, a not after b).
    long count_between(const TagHeader& tag, const TagPosition& a, const TagPosition& b);
    // Every fault found walking a tag's tree; empty when it is sound.
    std::vector<std::string> check(const TagHeader& tag,
                                   std::vector<std::pair<std::string, std::uint32_t>>* entries);

  private:
    std::string page(std::uint32_t offset) const;
    void write_page(std::uint32_t offset, const std::string& bytes);
    std::uint32_t allocate(std::size_t pages);
    Node node(const TagHeader& tag, std::uint32_t offset);
    std::shared_ptr<const Node> cached(const TagHeader& tag, std::uint32_t offset);
    void write_node(const TagHeader& tag, const Node& node);
    void set_root(TagHeader& tag, std::uint32_t root);
    void load_tags();
    TagHeader read_tag_header(std::uint32_t offset, const std::string& name);
    std::string tag_header_bytes(const TagHeader& tag) const;
    void refresh();
    TagHeader& directory() { return directory_; }
    struct PathStep {
        Node node;
        std::size_t index;
    };
    std::vector<PathStep> path_to(const TagHeader& tag, std::string_view key, std::uint64_t recno);
    void fix_parents(TagHeader& tag, std::vector<PathStep>& path);
    void split(TagHeader& tag, std::vector<PathStep>& path, std::size_t level);
    void unlink(TagHeader& tag, std::vector<PathStep>& path, std::size_t level);

    platform::File file_;
    std::string name_;
    bool shared_ = false;
    bool read_only_ = false;
    int depth_ = 0;
    bool writing_ = false;
    std::uint32_t counter_ = 0;
    std::uint64_t file_end_ = 0;
    // The decoded nodes may take as much as the leaves of a tag over a million 10-character keys.
    NodeCache nodes_{std::size_t{48} << 20};
    TagHeader directory_;
    std::vector<TagHeader> tags_;
};

}  // namespace kv::db
