#include "db/node_cache.h"

namespace kv::db {
namespace {

constexpr std::size_t kFirstCapacity = 64;  // a power of two

// About what a decoded node takes in memory.
std::size_t node_bytes(const Node& node) {
    std::size_t bytes = sizeof(Node) + 96 + node.entries.capacity() * sizeof(NodeEntry);
    for (const NodeEntry& entry : node.entries) {
        if (entry.key.capacity() > 15) bytes += entry.key.capacity() + 1;
    }
    return bytes;
}

}  // namespace

std::size_t NodeCache::home(std::uint32_t offset) const {
    // Offsets are multiples of the page size; Fibonacci hashing spreads the page numbers.
    const std::uint64_t page = offset / kPageSize;
    return static_cast<std::size_t>((page * 0x9E3779B97F4A7C15ull) >> 32) & (slots_.size() - 1);
}

std::size_t NodeCache::slot_of(std::uint32_t offset) const {
    std::size_t i = home(offset);
    while (slots_[i].offset != 0 && slots_[i].offset != offset) i = (i + 1) & (slots_.size() - 1);
    return i;
}

std::shared_ptr<const Node> NodeCache::find(std::uint32_t offset) const {
    if (count_ == 0) return nullptr;
    const Slot& slot = slots_[slot_of(offset)];
    return slot.offset == offset ? slot.node : nullptr;
}

void NodeCache::put(std::shared_ptr<const Node> node) {
    const std::uint32_t offset = node->offset;
    if (offset == 0) return;
    erase(offset);
    if (bytes_ > budget_) rebuild(slots_.size(), true);
    if ((count_ + 1) * 2 > slots_.size())
        rebuild(std::max(kFirstCapacity, slots_.size() * 2), false);
    Slot& slot = slots_[slot_of(offset)];
    slot.offset = offset;
    slot.bytes = node_bytes(*node);
    slot.node = std::move(node);
    bytes_ += slot.bytes;
    ++count_;
}

void NodeCache::erase(std::uint32_t offset) {
    if (count_ == 0) return;
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = slot_of(offset);
    if (slots_[hole].offset != offset) return;
    bytes_ -= slots_[hole].bytes;
    --count_;
    slots_[hole] = Slot{};
    // Backward shift: later members of the run move into the hole when their home allows it.
    for (std::size_t i = (hole + 1) & mask; slots_[i].offset != 0; i = (i + 1) & mask) {
        const std::size_t wanted = home(slots_[i].offset);
        const bool reachable =
            hole <= i ? (wanted <= hole || wanted > i) : (wanted <= hole && wanted > i);
        if (reachable) {
            slots_[hole] = std::move(slots_[i]);
            slots_[i] = Slot{};
            hole = i;
        }
    }
}

void NodeCache::clear() {
    slots_.clear();
    count_ = 0;
    bytes_ = 0;
}

void NodeCache::rebuild(std::size_t capacity, bool drop_quarter) {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(capacity, Slot{});
    count_ = 0;
    bytes_ = 0;
    std::size_t seen = 0;
    for (Slot& slot : old) {
        if (slot.offset == 0) continue;
        if (drop_quarter && ++seen % 4 == 0) continue;
        Slot& target = slots_[slot_of(slot.offset)];
        bytes_ += slot.bytes;
        ++count_;
        target = std::move(slot);
    }
}

}  // namespace kv::db
