#include "db/cdx_node.h"

#include <algorithm>
#include <cstring>

#include "db/db_errors.h"

namespace kv::db {
namespace {

int bits_for(std::uint64_t value) {
    int bits = 0;
    while (value != 0) {
        ++bits;
        value >>= 1;
    }
    return std::max(bits, 1);
}

std::size_t shared_prefix(std::string_view a, std::string_view b) {
    std::size_t n = 0;
    const std::size_t limit = std::min(a.size(), b.size());
    while (n < limit && a[n] == b[n]) ++n;
    return n;
}

std::size_t trailing_pad(std::string_view key, char pad) {
    std::size_t n = 0;
    while (n < key.size() && key[key.size() - 1 - n] == pad) ++n;
    return n;
}

}  // namespace

std::uint32_t le32_at(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]) | static_cast<std::uint8_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint8_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at + 3])) << 24;
}
std::uint16_t le16_at(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}
std::uint32_t be32_at(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[at])) << 24 |
           static_cast<std::uint8_t>(bytes[at + 1]) << 16 |
           static_cast<std::uint8_t>(bytes[at + 2]) << 8 | static_cast<std::uint8_t>(bytes[at + 3]);
}
void put_le32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}
void put_le16(std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value);
    bytes[at + 1] = static_cast<char>(value >> 8);
}
void put_be32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

std::size_t interior_capacity(std::size_t key_length) {
    return (kPageSize - 12) / (key_length + 8);
}

LeafLayout leaf_layout(std::uint32_t largest_recno, std::size_t key_length) {
    LeafLayout layout;
    layout.count_bits = bits_for(key_length);
    const int needed = bits_for(largest_recno) + 2 * layout.count_bits;
    layout.bytes_per_entry = std::max(3, (needed + 7) / 8);
    layout.record_bits = layout.bytes_per_entry * 8 - 2 * layout.count_bits;
    if (layout.record_bits > 32) layout.record_bits = 32;
    return layout;
}

std::size_t leaf_key_cost(const LeafLayout& layout, std::string_view previous, std::string_view key,
                          char pad) {
    const std::size_t trail = trailing_pad(key, pad);
    const std::size_t dup = std::min(shared_prefix(previous, key), key.size() - trail);
    return static_cast<std::size_t>(layout.bytes_per_entry) + key.size() - trail - dup;
}

LeafReader::LeafReader(std::string_view page, std::size_t key_length, char pad)
    : page_(page), key_length_(key_length), pad_(pad), key_(key_length, pad) {
    count_ = le16_at(page, 2);
    record_mask_ = le32_at(page, 14);
    record_bits_ = static_cast<std::uint8_t>(page[20]);
    dup_bits_ = static_cast<std::uint8_t>(page[21]);
    trail_bits_ = static_cast<std::uint8_t>(page[22]);
    bytes_per_entry_ = static_cast<std::uint8_t>(page[23]);
    dup_mask_ = static_cast<std::uint8_t>(page[18]);
    trail_mask_ = static_cast<std::uint8_t>(page[19]);
    if (bytes_per_entry_ < 1 || bytes_per_entry_ > 8 ||
        record_bits_ + dup_bits_ + trail_bits_ > 8 * bytes_per_entry_ || record_bits_ > 32 ||
        static_cast<std::size_t>(count_) * static_cast<std::size_t>(bytes_per_entry_) >
            kLeafSpace) {
        throw Corrupt("an index leaf has impossible entry sizes or counts");
    }
}

void LeafReader::next() {
    ++index_;
    if (index_ >= count_) throw Corrupt("an index leaf was read past its last key");
    const std::size_t at =
        24 + static_cast<std::size_t>(index_) * static_cast<std::size_t>(bytes_per_entry_);
    std::uint64_t value = 0;
    for (int i = bytes_per_entry_ - 1; i >= 0; --i) {
        value = value << 8 | static_cast<std::uint8_t>(page_[at + static_cast<std::size_t>(i)]);
    }
    recno_ = static_cast<std::uint32_t>(value & record_mask_);
    const std::size_t dup = (value >> record_bits_) & dup_mask_;
    const std::size_t trail = (value >> (record_bits_ + dup_bits_)) & trail_mask_;
    if (dup + trail > key_length_) throw Corrupt("an index key is longer than its tag's keys");
    const std::size_t stored = key_length_ - dup - trail;
    const std::size_t entries_end =
        24 + static_cast<std::size_t>(count_) * static_cast<std::size_t>(bytes_per_entry_);
    if (stored > position_ || position_ - stored < entries_end)
        throw Corrupt("index keys overlap their entries");
    position_ -= stored;
    std::memcpy(key_.data() + dup, page_.data() + position_, stored);
    std::memset(key_.data() + dup + stored, static_cast<unsigned char>(pad_), trail);
}

Node decode_node(std::string_view page, std::uint32_t offset, std::size_t key_length, char pad) {
    Node node;
    node.offset = offset;
    node.attributes = le16_at(page, 0);
    if (node.attributes > 3) throw Corrupt("an index node has unknown attributes");
    const std::size_t count = le16_at(page, 2);
    node.left = le32_at(page, 4);
    node.right = le32_at(page, 8);
    if (node.leaf()) {
        LeafReader reader(page, key_length, pad);
        node.entries.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            reader.next();
            node.entries.push_back(NodeEntry{reader.key(), reader.recno(), 0});
        }
        return node;
    }
    if (count > interior_capacity(key_length))
        throw Corrupt("an index node holds more keys than fit");
    node.entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = 12 + i * (key_length + 8);
        node.entries.push_back(NodeEntry{std::string(page.substr(at, key_length)),
                                         be32_at(page, at + key_length),
                                         be32_at(page, at + key_length + 4)});
    }
    return node;
}

bool encode_node(const Node& node, std::size_t key_length, char pad, std::string& page) {
    page.assign(kPageSize, '\0');
    put_le16(page, 0, node.attributes);
    put_le16(page, 2, static_cast<std::uint16_t>(node.entries.size()));
    put_le32(page, 4, node.left);
    put_le32(page, 8, node.right);
    if (!node.leaf()) {
        if (node.entries.size() > interior_capacity(key_length)) return false;
        for (std::size_t i = 0; i < node.entries.size(); ++i) {
            const std::size_t at = 12 + i * (key_length + 8);
            std::memcpy(&page[at], node.entries[i].key.data(), key_length);
            put_be32(page, at + key_length, node.entries[i].recno);
            put_be32(page, at + key_length + 4, node.entries[i].child);
        }
        return true;
    }
    std::uint32_t largest = 0;
    for (const NodeEntry& entry : node.entries) largest = std::max(largest, entry.recno);
    const LeafLayout layout = leaf_layout(largest, key_length);
    const auto bpe = static_cast<std::size_t>(layout.bytes_per_entry);
    std::size_t position = kPageSize;
    std::string_view previous;
    const std::string blank(key_length, pad);
    previous = blank;
    for (std::size_t i = 0; i < node.entries.size(); ++i) {
        const std::string& key = node.entries[i].key;
        const std::size_t trail = trailing_pad(key, pad);
        const std::size_t dup =
            i == 0 ? 0 : std::min(shared_prefix(previous, key), key.size() - trail);
        const std::size_t stored = key.size() - dup - trail;
        const std::size_t entries_end = 24 + (i + 1) * bpe;
        if (stored > position || position - stored < entries_end) return false;
        position -= stored;
        std::memcpy(&page[position], key.data() + dup, stored);
        const std::uint64_t value =
            node.entries[i].recno | static_cast<std::uint64_t>(dup) << layout.record_bits |
            static_cast<std::uint64_t>(trail) << (layout.record_bits + layout.count_bits);
        for (std::size_t b = 0; b < bpe; ++b)
            page[24 + i * bpe + b] = static_cast<char>(value >> (8 * b));
        previous = key;
    }
    const std::size_t free_space = position - (24 + node.entries.size() * bpe);
    put_le16(page, 12, static_cast<std::uint16_t>(free_space));
    put_le32(page, 14, layout.record_bits >= 32 ? 0xFFFFFFFFu : (1u << layout.record_bits) - 1);
    page[18] = static_cast<char>((1u << layout.count_bits) - 1);
    page[19] = static_cast<char>((1u << layout.count_bits) - 1);
    page[20] = static_cast<char>(layout.record_bits);
    page[21] = static_cast<char>(layout.count_bits);
    page[22] = static_cast<char>(layout.count_bits);
    page[23] = static_cast<char>(layout.bytes_per_entry);
    return true;
}

}  // namespace kv::db
