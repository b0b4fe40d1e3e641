#pragma once
// The nodes of an index bag: 512-byte pages, either interior (whole keys with the record number
// and the child's offset, big-endian) or leaves (compact entries of record number, duplicate and
// trailing counts, with the keys' remaining bytes packed backwards from the end of the page).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kv::db {

inline constexpr std::size_t kPageSize = 512;
inline constexpr std::uint32_t kNoPage = 0xFFFFFFFF;
inline constexpr std::uint16_t kAttrInterior = 0;
inline constexpr std::uint16_t kAttrRoot = 1;
inline constexpr std::uint16_t kAttrLeaf = 2;

// An entry of a node: a key with its record and, in interior nodes, its child.
struct NodeEntry {
    std::string key;  // the whole key, key-length bytes
    std::uint32_t recno = 0;
    std::uint32_t child = 0;  // interior nodes only
};

// A decoded node of an index bag.
struct Node {
    std::uint32_t offset = 0;
    std::uint16_t attributes = kAttrLeaf;
    std::uint32_t left = kNoPage;
    std::uint32_t right = kNoPage;
    std::vector<NodeEntry> entries;
    // True for a leaf.
    bool leaf() const { return (attributes & kAttrLeaf) != 0; }
    // True for the root of its tag.
    bool root() const { return (attributes & kAttrRoot) != 0; }
};

// Reads a page; throws Corrupt when its counts or sizes are impossible. The pad byte fills the
// trailing bytes of leaf keys (blank for character keys, zero for the others).
Node decode_node(std::string_view page, std::uint32_t offset, std::size_t key_length, char pad);
// Writes a node; false when its entries do not fit one page.
bool encode_node(const Node& node, std::size_t key_length, char pad, std::string& page);
// How many interior entries fit a page.
std::size_t interior_capacity(std::size_t key_length);

// The leaf bit layout for a set of entries: widths chosen from the largest record number.
struct LeafLayout {
    int record_bits = 0;
    int count_bits = 0;  // duplicate and trailing counts each
    int bytes_per_entry = 0;
};
// The layout that fits entries of that largest record number and key length.
LeafLayout leaf_layout(std::uint32_t largest_recno, std::size_t key_length);
// Bytes that one key takes in a leaf after the previous key (its entry and its stored part).
std::size_t leaf_key_cost(const LeafLayout& layout, std::string_view previous, std::string_view key,
                          char pad);
inline constexpr std::size_t kLeafSpace = kPageSize - 24;

// Reading a leaf entry by entry without building the whole node (searches).
class LeafReader {
  public:
    // Throws Corrupt when the header is impossible.
    LeafReader(std::string_view page, std::size_t key_length, char pad);
    // The number of entries of the leaf.
    int count() const { return count_; }
    // Decodes the next entry into key()/recno(); throws Corrupt when it runs outside the page.
    void next();
    // The entry decoded last (from 0; -1 before the first).
    int index() const { return index_; }
    // The key of the entry decoded last.
    const std::string& key() const { return key_; }
    // The record number of the entry decoded last.
    std::uint32_t recno() const { return recno_; }

  private:
    std::string_view page_;
    std::size_t key_length_;
    char pad_;
    int count_ = 0;
    int index_ = -1;
    std::uint64_t record_mask_ = 0;
    int record_bits_ = 0, dup_bits_ = 0, trail_bits_ = 0, bytes_per_entry_ = 0;
    std::uint64_t dup_mask_ = 0, trail_mask_ = 0;
    std::size_t position_ = kPageSize;
    std::string key_;
    std::uint32_t recno_ = 0;
};

// A little-endian 32-bit number at a byte offset.
std::uint32_t le32_at(std::string_view bytes, std::size_t at);
// A little-endian 16-bit number at a byte offset.
std::uint16_t le16_at(std::string_view bytes, std::size_t at);
// A big-endian 32-bit number at a byte offset.
std::uint32_t be32_at(std::string_view bytes, std::size_t at);
// Stores a little-endian 32-bit number at a byte offset.
void put_le32(std::string& bytes, std::size_t at, std::uint32_t value);
// Stores a little-endian 16-bit number at a byte offset.
void put_le16(std::string& bytes, std::size_t at, std::uint16_t value);
// Stores a big-endian 32-bit number at a byte offset.
void put_be32(std::string& bytes, std::size_t at, std::uint32_t value);

}  // namespace kv::db
