#include "db/cdx_bag.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <set>

#include "db/db_errors.h"
#include "db/disk_io.h"

namespace kv::db {
namespace {

constexpr int kMaxDepth = 64;
// A built tag's leaves keep a tenth of their space free, so that the keys added after a build
// do not split nearly every leaf at once.
constexpr std::size_t kBuiltLeafSpace = kLeafSpace * 9 / 10;
constexpr std::uint8_t kOptionUnique = 0x01;
constexpr std::uint8_t kOptionFor = 0x08;
constexpr std::uint8_t kOptionCompact = 0x20;
constexpr std::uint8_t kOptionCompound = 0x40;
constexpr std::uint64_t kCounterOffset = 8;
constexpr std::uint64_t kPendingOffset = 16;

std::string padded_name(const std::string& name) {
    std::string key = name.substr(0, kTagNameLength);
    key.resize(kTagNameLength, ' ');
    return key;
}

std::string trimmed(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// Below the target: the entry's first prefix bytes, then its record number.
bool below(std::string_view key, std::uint32_t recno, std::string_view prefix,
           std::uint64_t target) {
    const int c = std::memcmp(key.data(), prefix.data(), std::min(prefix.size(), key.size()));
    return c < 0 || (c == 0 && recno < target);
}

// The leaves of a built tag, as [first, end) of the sorted keys: as many keys as fit in the space
// a built leaf fills, left to right; one empty leaf when there are no keys.
std::vector<std::pair<std::size_t, std::size_t>> built_leaves(const std::string& keys,
                                                              std::size_t count, std::size_t length,
                                                              char pad, const LeafLayout& layout) {
    std::vector<std::pair<std::size_t, std::size_t>> leaves;
    const std::string blank(length, pad);
    for (std::size_t i = 0; i < count;) {
        std::size_t used = 0;
        std::size_t end = i;
        std::string_view previous = blank;
        while (end < count) {
            const std::string_view key(keys.data() + end * length, length);
            const std::size_t cost = leaf_key_cost(
                layout, end == i ? std::string_view(blank.data(), 0) : previous, key, pad);
            if (used + cost > kBuiltLeafSpace) break;
            used += cost;
            previous = key;
            ++end;
        }
        leaves.emplace_back(i, end);
        i = end;
    }
    if (leaves.empty()) leaves.emplace_back(0, 0);
    return leaves;
}

// Places the n-th of a level's nodes, whose pages lie side by side from start on, and links it to
// its neighbours.
void place_in_level(Node& node, std::uint32_t start, std::size_t n, std::size_t nodes) {
    node.offset = start + static_cast<std::uint32_t>(n * kPageSize);
    node.left = n == 0 ? kNoPage : node.offset - kPageSize;
    node.right = n + 1 == nodes ? kNoPage : node.offset + kPageSize;
}

// Writes the interior level above the given one (the largest entry of each of its nodes) from
// start on into out; answers the largest entry of each node written.
std::vector<NodeEntry> write_interior_level(const std::vector<NodeEntry>& level,
                                            std::uint32_t start, std::size_t capacity,
                                            std::size_t length, char pad, std::string& out) {
    std::vector<NodeEntry> upper;
    std::string bytes;
    const std::size_t nodes = (level.size() + capacity - 1) / capacity;
    for (std::size_t n = 0; n < nodes; ++n) {
        Node inner;
        place_in_level(inner, start, n, nodes);
        inner.attributes = nodes == 1 ? kAttrRoot : kAttrInterior;
        const std::size_t begin = n * level.size() / nodes;
        const std::size_t end = (n + 1) * level.size() / nodes;
        inner.entries.assign(level.begin() + static_cast<long>(begin),
                             level.begin() + static_cast<long>(end));
        encode_node(inner, length, pad, bytes);
        out += bytes;
        upper.push_back(
            NodeEntry{inner.entries.back().key, inner.entries.back().recno, inner.offset});
    }
    return upper;
}

}  // namespace

bool IndexBag::open(const std::string& name, bool shared, bool read_only, bool create) {
    const auto access = read_only ? platform::Access::Read : platform::Access::ReadWrite;
    const auto share = shared ? platform::Share::DenyNone : platform::Share::DenyAll;
    // Only a file this open makes is a new bag; an existing one of 0 bytes has lost its tags.
    const bool made = create && !platform::file_exists(name);
    // A bag made here gets its name under the file-name case setting, as every file made does.
    if (!file_.open(
            name, access, share,
            create ? platform::Disposition::OpenAlways : platform::Disposition::OpenExisting,
            create ? platform::NameCase::Setting : platform::NameCase::AsGiven)) {
        return false;
    }
    name_ = platform::resolve_path(name, platform::NameCase::Setting);
    shared_ = shared;
    read_only_ = read_only;
    directory_ = TagHeader{};
    directory_.key_length = kTagNameLength;
    directory_.pad = ' ';
    if (shared_) wait_lock(file_.fd(), kIndexPoolOffset, kIndexPoolLength, !read_only);
    try {
        file_end_ = file_size(file_.fd());
        if (file_end_ == 0 && !made) {
            throw Corrupt("the index bag is empty (0 bytes): the tags it held are lost");
        }
        if (file_end_ == 0 && !read_only) {
            // A new bag: the directory's header and its empty root leaf.
            directory_.root = kTagHeaderSize;
            std::string bytes = tag_header_bytes(directory_);
            Node root;
            root.offset = kTagHeaderSize;
            root.attributes = kAttrRoot | kAttrLeaf;
            std::string page;
            encode_node(root, kTagNameLength, ' ', page);
            bytes += page;
            if (const int error = write_at(file_.fd(), 0, bytes); error != 0)
                throw WriteFailed(error);
            file_end_ = bytes.size();
        }
        counter_ = 0;
        char counter[4];
        if (read_exact(file_.fd(), kCounterOffset, counter, 4))
            counter_ = le32_at(std::string_view(counter, 4), 0);
        load_tags();
    } catch (...) {
        if (shared_) unlock(file_.fd(), kIndexPoolOffset, kIndexPoolLength);
        file_.close();
        throw;
    }
    if (shared_) unlock(file_.fd(), kIndexPoolOffset, kIndexPoolLength);
    return true;
}

bool IndexBag::close() {
    nodes_.clear();
    tags_.clear();
    return file_.close();
}

// ---- Use and the page cache --------------------------------------------------------------------

void IndexBag::begin(bool write) {
    if (depth_ == 0) {
        if (write && read_only_) throw Corrupt("the index bag is open read-only");
        writing_ = write;
        if (shared_) {
            wait_lock(file_.fd(), kIndexPoolOffset, kIndexPoolLength, write);
            try {
                refresh();
                // The count of changes is raised before anything changes: a change that cannot
                // tell other processes to drop their cached nodes does not begin.
                if (write) {
                    std::string bytes(4, '\0');
                    put_le32(bytes, 0, counter_ + 1);
                    if (const int error = write_at(file_.fd(), kCounterOffset, bytes); error != 0)
                        throw WriteFailed(error);
                    ++counter_;
                }
            } catch (...) {
                unlock(file_.fd(), kIndexPoolOffset, kIndexPoolLength);
                throw;
            }
        }
    } else if (write && !writing_) {
        throw std::logic_error("an index change inside an index read");
    }
    ++depth_;
}

void IndexBag::end() {
    if (--depth_ > 0) return;
    if (shared_) unlock(file_.fd(), kIndexPoolOffset, kIndexPoolLength);
    writing_ = false;
}

std::uint32_t IndexBag::pending() {
    char bytes[4];
    if (!read_exact(file_.fd(), kPendingOffset, bytes, 4)) return 0;
    return le32_at(std::string_view(bytes, 4), 0);
}

void IndexBag::set_pending(std::uint32_t what) {
    std::string bytes(4, '\0');
    put_le32(bytes, 0, what);
    if (const int error = write_at(file_.fd(), kPendingOffset, bytes); error != 0)
        throw WriteFailed(error);
}

void IndexBag::refresh() {
    char bytes[4];
    if (!read_exact(file_.fd(), kCounterOffset, bytes, 4))
        throw Corrupt("the index bag's header cannot be read");
    const std::uint32_t counter = le32_at(std::string_view(bytes, 4), 0);
    file_end_ = file_size(file_.fd());
    if (counter != counter_) {
        nodes_.clear();
        counter_ = counter;
        load_tags();
    }
}

std::string IndexBag::page(std::uint32_t offset) const {
    if (offset % kPageSize != 0 || offset < kPageSize ||
        offset + static_cast<std::uint64_t>(kPageSize) > file_end_) {
        throw Corrupt("an index pointer points outside the bag");
    }
    std::string bytes(kPageSize, '\0');
    if (!read_exact(file_.fd(), offset, bytes.data(), kPageSize))
        throw Corrupt("an index page cannot be read");
    return bytes;
}

void IndexBag::write_page(std::uint32_t offset, const std::string& bytes) {
    if (const int error = write_at(file_.fd(), offset, bytes); error != 0) throw WriteFailed(error);
    for (std::size_t at = 0; at < bytes.size(); at += kPageSize)
        nodes_.erase(static_cast<std::uint32_t>(offset + at));
    file_end_ = std::max<std::uint64_t>(file_end_, offset + bytes.size());
}

std::uint32_t IndexBag::allocate(std::size_t pages) {
    const std::uint64_t offset = (file_end_ + kPageSize - 1) / kPageSize * kPageSize;
    const std::uint64_t length = pages * kPageSize;
    if (offset + length > 0xFFFFFE00u) throw WriteFailed(EFBIG);
    if (const int error = reserve(file_.fd(), offset, length); error != 0) throw WriteFailed(error);
    file_end_ = offset + length;
    return static_cast<std::uint32_t>(offset);
}

Node IndexBag::node(const TagHeader& tag, std::uint32_t offset) {
    return *cached(tag, offset);
}

std::shared_ptr<const Node> IndexBag::cached(const TagHeader& tag, std::uint32_t offset) {
    if (auto found = nodes_.find(offset)) return found;
    auto decoded =
        std::make_shared<const Node>(decode_node(page(offset), offset, tag.key_length, tag.pad));
    nodes_.put(decoded);
    return decoded;
}

void IndexBag::write_node(const TagHeader& tag, const Node& node) {
    std::string bytes;
    if (!encode_node(node, tag.key_length, tag.pad, bytes))
        throw Corrupt("an index node overflowed");
    write_page(node.offset, bytes);
    nodes_.put(std::make_shared<const Node>(node));
}

void IndexBag::set_root(TagHeader& tag, std::uint32_t root) {
    tag.root = root;
    std::string bytes(4, '\0');
    put_le32(bytes, 0, root);
    if (const int error = write_at(file_.fd(), tag.header_offset, bytes); error != 0)
        throw WriteFailed(error);
    nodes_.erase(tag.header_offset);
    if (tag.header_offset == 0) return;
    for (TagHeader& other : tags_) {
        if (other.header_offset == tag.header_offset) other.root = root;
    }
}

// ---- Headers -----------------------------------------------------------------------------------

std::string IndexBag::tag_header_bytes(const TagHeader& tag) const {
    std::string bytes(kTagHeaderSize, '\0');
    put_le32(bytes, 0, tag.root);
    put_le32(bytes, 4, kNoPage);
    put_le32(bytes, 8, tag.header_offset == 0 ? counter_ : 0);
    put_le16(bytes, 12, static_cast<std::uint16_t>(tag.key_length));
    std::uint8_t options = kOptionCompact;
    if (tag.header_offset == 0) options |= kOptionCompound;
    if (tag.unique) options |= kOptionUnique;
    if (!tag.for_text.empty()) options |= kOptionFor;
    bytes[14] = static_cast<char>(options);
    bytes[15] = 1;
    put_le16(bytes, 502, tag.descending ? 1 : 0);
    const std::string key = tag.key_text.substr(0, 255);
    const std::string condition = tag.for_text.substr(0, 510 - key.size() - 2);
    put_le16(bytes, 504, static_cast<std::uint16_t>(key.size() + condition.size() + 2));
    put_le16(bytes, 506, static_cast<std::uint16_t>(condition.size() + 1));
    put_le16(bytes, 510, static_cast<std::uint16_t>(key.size() + 1));
    std::memcpy(&bytes[512], key.data(), key.size());
    std::memcpy(&bytes[512 + key.size() + 1], condition.data(), condition.size());
    return bytes;
}

TagHeader IndexBag::read_tag_header(std::uint32_t offset, const std::string& name) {
    if (offset < kTagHeaderSize) throw Corrupt("a tag's header lies inside the directory");
    const std::string bytes = page(offset) + page(offset + kPageSize);
    TagHeader tag;
    tag.name = name;
    tag.header_offset = offset;
    tag.root = le32_at(bytes, 0);
    tag.key_length = le16_at(bytes, 12);
    if (tag.key_length < 1 || tag.key_length > kMaxKeyLength)
        throw Corrupt("tag " + name + " has an impossible key length");
    const std::uint8_t options = static_cast<std::uint8_t>(bytes[14]);
    tag.unique = (options & kOptionUnique) != 0;
    tag.descending = le16_at(bytes, 502) == 1;
    const std::size_t key_pool = le16_at(bytes, 510);
    const std::size_t for_pool = le16_at(bytes, 506);
    if (key_pool < 2 || key_pool + for_pool > 512)
        throw Corrupt("tag " + name + " has impossible expression lengths");
    const std::string_view pool(bytes.data() + 512, 512);
    tag.key_text = std::string(pool.substr(0, std::min(key_pool, pool.find('\0'))));
    if ((options & kOptionFor) != 0 && for_pool > 1) {
        const std::string_view rest = pool.substr(key_pool);
        tag.for_text = std::string(rest.substr(0, std::min(for_pool, rest.find('\0'))));
    }
    if (tag.key_text.empty()) throw Corrupt("tag " + name + " has no key expression");
    return tag;
}

void IndexBag::load_tags() {
    char bytes[16];
    if (!read_exact(file_.fd(), 0, bytes, 16))
        throw Corrupt("the index bag is shorter than its header");
    const std::string_view header(bytes, 16);
    directory_.root = le32_at(header, 0);
    if (le16_at(header, 12) != kTagNameLength)
        throw Corrupt("the index bag's directory is damaged");
    tags_.clear();
    TagPosition position = first(directory_);
    std::size_t guard = file_end_ / kPageSize + 1;
    while (position.valid()) {
        tags_.push_back(read_tag_header(position.entry().recno, trimmed(position.entry().key)));
        step(directory_, position, 1);
        if (--guard == 0) throw Corrupt("the index bag's directory loops");
    }
    std::sort(tags_.begin(), tags_.end(), [](const TagHeader& a, const TagHeader& b) {
        return a.header_offset < b.header_offset;
    });
}

// ---- Searching ---------------------------------------------------------------------------------

TagPosition IndexBag::lower_bound(const TagHeader& tag, std::string_view prefix,
                                  std::uint64_t recno) {
    std::uint32_t offset = tag.root;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        std::shared_ptr<const Node> current = cached(tag, offset);
        const auto& entries = current->entries;
        const auto place = std::partition_point(
            entries.begin(), entries.end(),
            [&](const NodeEntry& entry) { return below(entry.key, entry.recno, prefix, recno); });
        const auto index = static_cast<std::size_t>(place - entries.begin());
        if (current->leaf()) return TagPosition{std::move(current), index};
        if (entries.empty()) throw Corrupt("an index node is empty");
        offset = entries[std::min(index, entries.size() - 1)].child;
    }
    throw Corrupt("an index tree is deeper than possible (a loop)");
}

TagPosition IndexBag::first(const TagHeader& tag) {
    std::uint32_t offset = tag.root;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        std::shared_ptr<const Node> current = cached(tag, offset);
        if (current->leaf()) return TagPosition{std::move(current), 0};
        if (current->entries.empty()) throw Corrupt("an index node is empty");
        offset = current->entries.front().child;
    }
    throw Corrupt("an index tree is deeper than possible (a loop)");
}

TagPosition IndexBag::last(const TagHeader& tag) {
    std::uint32_t offset = tag.root;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        std::shared_ptr<const Node> current = cached(tag, offset);
        if (current->leaf()) {
            const std::size_t size = current->entries.size();
            return TagPosition{std::move(current), size == 0 ? 0 : size - 1};
        }
        if (current->entries.empty()) throw Corrupt("an index node is empty");
        offset = current->entries.back().child;
    }
    throw Corrupt("an index tree is deeper than possible (a loop)");
}

// The entry that a step reaches lies beyond the one it leaves, and each leaf it crosses to names
// the one it came from: a leaf met twice, a sibling link that points back or anywhere else is
// damage, so that no walk can go round.
void IndexBag::step(const TagHeader& tag, TagPosition& position, int direction) {
    const std::shared_ptr<const Node> from_leaf = position.leaf;
    const std::size_t from_index = position.index;
    const bool from_valid = position.valid();
    std::size_t guard = file_end_ / kPageSize + 1;
    auto cross = [&](std::uint32_t to, bool rightwards) {
        const std::uint32_t here = position.leaf->offset;
        position.leaf = cached(tag, to);
        if ((rightwards ? position.leaf->left : position.leaf->right) != here)
            throw Corrupt("an index leaf's sibling links disagree");
        if (--guard == 0) throw Corrupt("an index level loops");
    };
    if (direction > 0) {
        if (position.index < position.leaf->entries.size()) ++position.index;
        while (position.index >= position.leaf->entries.size()) {
            if (position.leaf->right == kNoPage) return;
            cross(position.leaf->right, true);
            position.index = 0;
        }
    } else if (position.index > 0 && position.index <= position.leaf->entries.size()) {
        --position.index;
    } else {
        while (true) {
            if (position.leaf->left == kNoPage) {
                position.index = position.leaf->entries.size();  // before the first: nothing
                return;
            }
            cross(position.leaf->left, false);
            if (!position.leaf->entries.empty()) {
                position.index = position.leaf->entries.size() - 1;
                break;
            }
        }
    }
    if (from_valid && position.valid()) {
        const NodeEntry& left = direction > 0 ? from_leaf->entries[from_index] : position.entry();
        const NodeEntry& right = direction > 0 ? position.entry() : from_leaf->entries[from_index];
        if (!(left.key < right.key || (left.key == right.key && left.recno < right.recno)))
            throw Corrupt("an index walk goes back (a loop)");
    }
}

long IndexBag::count_between(const TagHeader& tag, const TagPosition& a, const TagPosition& b) {
    if (a.leaf->offset == b.leaf->offset)
        return static_cast<long>(b.index) - static_cast<long>(a.index) + 1;
    long count = static_cast<long>(a.leaf->entries.size() - a.index);
    std::uint32_t offset = a.leaf->right;
    std::size_t guard = file_end_ / kPageSize + 1;
    while (offset != b.leaf->offset) {
        if (offset == kNoPage || --guard == 0) throw Corrupt("an index level is broken");
        if (const auto found = nodes_.find(offset)) {
            count += static_cast<long>(found->entries.size());
            offset = found->right;
        } else {
            const std::string bytes = page(offset);
            count += le16_at(bytes, 2);
            offset = le32_at(bytes, 8);
        }
    }
    (void)tag;
    return count + static_cast<long>(b.index) + 1;
}

// ---- Changing ----------------------------------------------------------------------------------

std::vector<IndexBag::PathStep> IndexBag::path_to(const TagHeader& tag, std::string_view key,
                                                  std::uint64_t recno) {
    std::vector<PathStep> path;
    std::uint32_t offset = tag.root;
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        Node current = node(tag, offset);
        auto& entries = current.entries;
        auto index = static_cast<std::size_t>(
            std::partition_point(
                entries.begin(), entries.end(),
                [&](const NodeEntry& entry) { return below(entry.key, entry.recno, key, recno); }) -
            entries.begin());
        if (current.leaf()) {
            path.push_back(PathStep{std::move(current), index});
            return path;
        }
        if (current.entries.empty()) throw Corrupt("an index node is empty");
        if (index == current.entries.size()) index = current.entries.size() - 1;
        offset = current.entries[index].child;
        path.push_back(PathStep{std::move(current), index});
    }
    throw Corrupt("an index tree is deeper than possible (a loop)");
}

// After the node at the given level changed, each parent's entry for it carries its last key.
void IndexBag::fix_parents(TagHeader& tag, std::vector<PathStep>& path) {
    for (std::size_t level = path.size() - 1; level > 0; --level) {
        const Node& child = path[level].node;
        if (child.entries.empty()) return;
        PathStep& parent = path[level - 1];
        NodeEntry& entry = parent.node.entries[parent.index];
        const NodeEntry& largest = child.entries.back();
        if (entry.key == largest.key && entry.recno == largest.recno) return;
        entry.key = largest.key;
        entry.recno = largest.recno;
        write_node(tag, parent.node);
        if (parent.index + 1 != parent.node.entries.size()) return;
    }
}

void IndexBag::split(TagHeader& tag, std::vector<PathStep>& path, std::size_t level) {
    Node& left = path[level].node;
    std::string bytes;
    const std::size_t count = left.entries.size();
    std::size_t cut = count / 2;
    Node right;
    right.attributes = left.attributes & ~kAttrRoot;
    left.attributes = right.attributes;
    for (int attempt = 0; attempt < 64; ++attempt) {
        Node trial_left = left, trial_right = right;
        trial_left.entries.assign(left.entries.begin(),
                                  left.entries.begin() + static_cast<long>(cut));
        trial_right.entries.assign(left.entries.begin() + static_cast<long>(cut),
                                   left.entries.end());
        const bool left_fits = encode_node(trial_left, tag.key_length, tag.pad, bytes);
        const bool right_fits = encode_node(trial_right, tag.key_length, tag.pad, bytes);
        if (left_fits && right_fits) break;
        if (!left_fits && cut > 1) --cut;
        if (!right_fits && cut + 1 < count) ++cut;
    }
    right.entries.assign(left.entries.begin() + static_cast<long>(cut), left.entries.end());
    left.entries.resize(cut);
    right.offset = allocate(1);
    right.left = left.offset;
    right.right = left.right;
    if (left.right != kNoPage) {
        Node neighbour = node(tag, left.right);
        neighbour.left = right.offset;
        write_node(tag, neighbour);
    }
    left.right = right.offset;
    write_node(tag, right);
    write_node(tag, left);
    const NodeEntry left_max{left.entries.back().key, left.entries.back().recno, left.offset};
    const NodeEntry right_max{right.entries.back().key, right.entries.back().recno, right.offset};
    if (level == 0) {
        Node root;
        root.offset = allocate(1);
        root.attributes = kAttrRoot;
        root.entries = {left_max, right_max};
        write_node(tag, root);
        set_root(tag, root.offset);
        return;
    }
    PathStep& parent = path[level - 1];
    parent.node.entries[parent.index] = left_max;
    parent.node.entries.insert(parent.node.entries.begin() + static_cast<long>(parent.index) + 1,
                               right_max);
    if (encode_node(parent.node, tag.key_length, tag.pad, bytes)) {
        write_page(parent.node.offset, bytes);
        nodes_.put(std::make_shared<const Node>(parent.node));
        parent.index += 1;
        path.resize(level);
        fix_parents(tag, path);
        return;
    }
    split(tag, path, level - 1);
}

void IndexBag::insert(TagHeader& tag, const std::string& key, std::uint32_t recno) {
    std::vector<PathStep> path = path_to(tag, key, recno);
    PathStep& leaf = path.back();
    leaf.node.entries.insert(leaf.node.entries.begin() + static_cast<long>(leaf.index),
                             NodeEntry{key, recno, 0});
    std::string bytes;
    if (encode_node(leaf.node, tag.key_length, tag.pad, bytes)) {
        write_page(leaf.node.offset, bytes);
        nodes_.put(std::make_shared<const Node>(leaf.node));
        fix_parents(tag, path);
        return;
    }
    split(tag, path, path.size() - 1);
}

void IndexBag::unlink(TagHeader& tag, std::vector<PathStep>& path, std::size_t level) {
    Node& gone = path[level].node;
    if (gone.left != kNoPage) {
        Node neighbour = node(tag, gone.left);
        neighbour.right = gone.right;
        write_node(tag, neighbour);
    }
    if (gone.right != kNoPage) {
        Node neighbour = node(tag, gone.right);
        neighbour.left = gone.left;
        write_node(tag, neighbour);
    }
    PathStep& parent = path[level - 1];
    parent.node.entries.erase(parent.node.entries.begin() + static_cast<long>(parent.index));
    if (parent.node.entries.empty()) {
        if (level - 1 == 0) {
            parent.node.attributes = kAttrRoot | kAttrLeaf;
            parent.node.left = parent.node.right = kNoPage;
            write_node(tag, parent.node);
            return;
        }
        unlink(tag, path, level - 1);
        return;
    }
    if (level - 1 == 0 && parent.node.entries.size() == 1) {
        // A root with one child hands the root over to it.
        Node child = node(tag, parent.node.entries.front().child);
        child.attributes |= kAttrRoot;
        write_node(tag, child);
        set_root(tag, child.offset);
        return;
    }
    write_node(tag, parent.node);
    if (parent.index > 0 && parent.index == parent.node.entries.size()) {
        parent.index -= 1;  // the last child went: the parent's largest key is its new last one
    }
    path.resize(level);
    fix_parents(tag, path);
}

bool IndexBag::remove(TagHeader& tag, const std::string& key, std::uint32_t recno) {
    std::vector<PathStep> path = path_to(tag, key, recno);
    PathStep& leaf = path.back();
    auto& entries = leaf.node.entries;
    if (leaf.index >= entries.size() || entries[leaf.index].key != key ||
        entries[leaf.index].recno != recno)
        return false;
    entries.erase(entries.begin() + static_cast<long>(leaf.index));
    if (entries.empty() && path.size() > 1) {
        unlink(tag, path, path.size() - 1);
        return true;
    }
    write_node(tag, leaf.node);
    fix_parents(tag, path);
    return true;
}

bool IndexBag::renumber(TagHeader& tag, const std::string& key, std::uint32_t from,
                        std::uint32_t to) {
    std::vector<PathStep> path = path_to(tag, key, from);
    PathStep& leaf = path.back();
    auto& entries = leaf.node.entries;
    const std::size_t i = leaf.index;
    if (i >= entries.size() || entries[i].key != key || entries[i].recno != from) return false;
    // Only an entry whose key no other entry of the leaf shares keeps its place when renumbered.
    if ((i > 0 && entries[i - 1].key == key) ||
        (i + 1 < entries.size() && entries[i + 1].key == key))
        return false;
    entries[i].recno = to;
    std::string bytes;
    if (!encode_node(leaf.node, tag.key_length, tag.pad, bytes)) return false;
    write_page(leaf.node.offset, bytes);
    nodes_.put(std::make_shared<const Node>(leaf.node));
    fix_parents(tag, path);
    return true;
}

// ---- Tags --------------------------------------------------------------------------------------

void IndexBag::add_tag(TagHeader tag, const std::string& keys,
                       const std::vector<std::uint32_t>& recnos) {
    const auto replaced = std::find_if(tags_.begin(), tags_.end(),
                                       [&](const TagHeader& t) { return t.name == tag.name; });
    const bool rebuilt = replaced != tags_.end();
    const std::uint32_t old_header = rebuilt ? replaced->header_offset : 0;
    const std::size_t length = tag.key_length;
    std::uint32_t largest = 0;
    for (std::uint32_t recno : recnos) largest = std::max(largest, recno);
    const auto leaves =
        built_leaves(keys, recnos.size(), length, tag.pad, leaf_layout(largest, length));
    // Interior levels above them.
    const std::size_t capacity = interior_capacity(length);
    std::vector<std::size_t> level_sizes{leaves.size()};
    while (level_sizes.back() > 1)
        level_sizes.push_back((level_sizes.back() + capacity - 1) / capacity);
    std::size_t pages = 0;
    for (std::size_t size : level_sizes) pages += size;
    tag.header_offset = allocate(kTagHeaderSize / kPageSize + pages);
    const std::uint32_t first_page = tag.header_offset + static_cast<std::uint32_t>(kTagHeaderSize);
    std::string out;
    out.reserve(pages * kPageSize);
    std::vector<NodeEntry> level;  // the largest entry of each node of the level just written
    std::string bytes;
    for (std::size_t n = 0; n < leaves.size(); ++n) {
        Node leaf;
        place_in_level(leaf, first_page, n, leaves.size());
        leaf.attributes = leaves.size() == 1 ? kAttrRoot | kAttrLeaf : kAttrLeaf;
        for (std::size_t i = leaves[n].first; i < leaves[n].second; ++i) {
            leaf.entries.push_back(NodeEntry{keys.substr(i * length, length), recnos[i], 0});
        }
        if (!encode_node(leaf, length, tag.pad, bytes))
            throw Corrupt("an index leaf overflowed while building");
        out += bytes;
        if (!leaf.entries.empty())
            level.push_back(
                NodeEntry{leaf.entries.back().key, leaf.entries.back().recno, leaf.offset});
    }
    std::uint32_t next_start = first_page + static_cast<std::uint32_t>(leaves.size() * kPageSize);
    tag.root = first_page;
    while (level.size() > 1) {
        level = write_interior_level(level, next_start, capacity, length, tag.pad, out);
        tag.root = next_start;
        next_start += static_cast<std::uint32_t>(level.size() * kPageSize);
    }
    if (level.size() == 1) tag.root = level.front().child;
    out.resize(pages * kPageSize, '\0');
    write_page(tag.header_offset, tag_header_bytes(tag) + out);
    if (!rebuilt) {
        insert(directory_, padded_name(tag.name), tag.header_offset);
        tags_.push_back(std::move(tag));
        return;
    }
    // A tag built again: its directory entry turns to the new tree in one write, so that a
    // process dying at any moment leaves the old tag or the new one, never none.
    std::vector<PathStep> path = path_to(directory_, padded_name(tag.name), old_header);
    PathStep& leaf = path.back();
    if (leaf.index >= leaf.node.entries.size() || leaf.node.entries[leaf.index].recno != old_header)
        throw Corrupt("tag " + tag.name + " is missing from the bag's directory");
    leaf.node.entries[leaf.index].recno = tag.header_offset;
    write_node(directory_, leaf.node);
    fix_parents(directory_, path);
    for (TagHeader& each : tags_) {
        if (each.name == tag.name) each = tag;
    }
    std::stable_sort(tags_.begin(), tags_.end(), [](const TagHeader& a, const TagHeader& b) {
        return a.header_offset < b.header_offset;
    });
}

void IndexBag::remove_tag(const std::string& name) {
    for (auto it = tags_.begin(); it != tags_.end(); ++it) {
        if (it->name == name) {
            remove(directory_, padded_name(name), it->header_offset);
            tags_.erase(it);
            return;
        }
    }
}

std::vector<std::string> IndexBag::check(
    const TagHeader& tag, std::vector<std::pair<std::string, std::uint32_t>>* entries) {
    std::vector<std::string> faults;
    try {
        std::set<std::uint32_t> seen;
        int leaf_depth = -1;
        std::vector<std::uint32_t> leaf_order;
        // Depth-first: every interior entry carries its child's largest key, every level is sorted.
        std::function<std::optional<NodeEntry>(std::uint32_t, int)> visit =
            [&](std::uint32_t offset, int depth) -> std::optional<NodeEntry> {
            if (depth > kMaxDepth || !seen.insert(offset).second)
                throw Corrupt("an index node is reached twice (a loop)");
            const Node current = node(tag, offset);
            if (current.leaf()) {
                if (leaf_depth == -1) leaf_depth = depth;
                if (leaf_depth != depth)
                    faults.push_back("tag " + tag.name + ": leaves at different depths");
                leaf_order.push_back(offset);
                if (current.entries.empty()) return std::nullopt;
                return current.entries.back();
            }
            if (current.entries.empty()) throw Corrupt("an index node is empty");
            for (const NodeEntry& entry : current.entries) {
                const auto largest = visit(entry.child, depth + 1);
                if (!largest || largest->key != entry.key || largest->recno != entry.recno) {
                    faults.push_back("tag " + tag.name +
                                     ": an interior key disagrees with its child");
                }
            }
            return current.entries.back();
        };
        visit(tag.root, 0);
        // The leaf level, left to right through the sibling links, in key order.
        TagPosition position = first(tag);
        std::size_t leaf_index = 0;
        std::optional<NodeEntry> previous;
        while (true) {
            if (leaf_index >= leaf_order.size() ||
                leaf_order[leaf_index] != position.leaf->offset) {
                faults.push_back("tag " + tag.name + ": the leaf links disagree with the tree");
                break;
            }
            for (const NodeEntry& entry : position.leaf->entries) {
                if (previous && !(previous->key < entry.key ||
                                  (previous->key == entry.key && previous->recno < entry.recno))) {
                    faults.push_back("tag " + tag.name + ": keys out of order");
                    return faults;
                }
                if (tag.unique && previous && previous->key == entry.key)
                    faults.push_back("tag " + tag.name + ": a unique key twice");
                previous = entry;
                if (entries) entries->emplace_back(entry.key, entry.recno);
            }
            ++leaf_index;
            if (position.leaf->right == kNoPage) break;
            const std::uint32_t here = position.leaf->offset;
            position.leaf = cached(tag, position.leaf->right);
            if (position.leaf->left != here)
                faults.push_back("tag " + tag.name + ": a leaf's left link is wrong");
        }
        if (leaf_index != leaf_order.size())
            faults.push_back("tag " + tag.name + ": leaves missing from the leaf links");
    } catch (const Corrupt& fault) {
        faults.push_back("tag " + tag.name + ": " + fault.what());
    }
    return faults;
}

}  // namespace kv::db
