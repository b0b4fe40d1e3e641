#pragma once
// The decoded nodes of one index bag by their offset, within a memory budget: an open-addressing
// table, so that finding a node costs one probe of a flat array in the common case. Past the
// budget a quarter of the nodes are dropped (those that callers still hold stay alive).
#include <cstdint>
#include <memory>
#include <vector>

#include "db/cdx_node.h"

namespace kv::db {

// The decoded nodes of one bag (see the top of this file).
class NodeCache {
  public:
    // An empty cache that keeps nodes of at most that many bytes in all.
    explicit NodeCache(std::size_t budget_bytes) : budget_(budget_bytes) {}

    // nullptr when the node is not cached.
    std::shared_ptr<const Node> find(std::uint32_t offset) const;
    // Caches a node (replacing one at its offset); offset 0 is never a node.
    void put(std::shared_ptr<const Node> node);
    // Drops the node at an offset.
    void erase(std::uint32_t offset);
    // Drops every node.
    void clear();

    // The number of cached nodes.
    std::size_t size() const { return count_; }
    // The bytes the cached nodes take.
    std::size_t bytes() const { return bytes_; }

  private:
    struct Slot {
        std::uint32_t offset = 0;  // 0: empty
        std::size_t bytes = 0;
        std::shared_ptr<const Node> node;
    };
    std::size_t home(std::uint32_t offset) const;
    std::size_t slot_of(std::uint32_t offset) const;  // the slot holding it, or an empty one
    void rebuild(std::size_t capacity, bool drop_quarter);

    std::size_t budget_;
    std::vector<Slot> slots_;
    std::size_t count_ = 0;
    std::size_t bytes_ = 0;
};

}  // namespace kv::db
