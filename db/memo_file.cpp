#include "db/memo_file.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "db/db_errors.h"
#include "db/disk_io.h"

namespace kv::db {
namespace {

constexpr std::uint32_t kHeaderBytes = 512;
constexpr std::uint32_t kTextType = 1;

std::uint32_t be32(const char* bytes) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[0])) << 24 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[1])) << 16 |
           static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[2])) << 8 |
           static_cast<std::uint8_t>(bytes[3]);
}
void put_be32(char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (24 - 8 * i));
}
std::uint32_t le32(const char* bytes) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[i]);
    return value;
}
void put_le32(char* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>(value >> (8 * i));
}

std::string header_bytes(MemoLayout layout, std::uint32_t block_size) {
    std::string header(kHeaderBytes, '\0');
    if (layout == MemoLayout::Blocks) {
        put_be32(header.data(), (kHeaderBytes + block_size - 1) / block_size);
        header[6] = static_cast<char>(block_size >> 8);
        header[7] = static_cast<char>(block_size);
    } else {
        put_le32(header.data(), 1);
        header[16] = 0x03;
    }
    return header;
}

}  // namespace

bool MemoFile::create(const std::string& name, MemoLayout layout, int block_size) {
    if (layout == MemoLayout::Old || block_size <= 0) block_size = 512;
    if (block_size > 65535) block_size = 65535;
    platform::File file;
    if (!file.open(name, platform::Access::ReadWrite, platform::Share::DenyAll,
                   platform::Disposition::CreateAlways, platform::NameCase::AsGiven)) {
        return false;
    }
    const bool written =
        file.write(header_bytes(layout, static_cast<std::uint32_t>(block_size))) && file.flush();
    return file.close() && written;
}

bool MemoFile::open(const std::string& name, MemoLayout layout, platform::Access access,
                    platform::Share share) {
    if (!file_.open(name, access, share, platform::Disposition::OpenExisting)) return false;
    name_ = name;
    layout_ = layout;
    block_size_ = 512;
    if (layout == MemoLayout::Blocks) {
        const std::string header = read_at(file_.fd(), 0, 8);
        if (header.size() < 8) {
            file_.close();
            throw Corrupt("the memo file is shorter than its header");
        }
        block_size_ =
            static_cast<std::uint8_t>(header[6]) << 8 | static_cast<std::uint8_t>(header[7]);
        if (block_size_ == 0) {
            file_.close();
            throw Corrupt("the memo file's block size is zero");
        }
    }
    return true;
}

bool MemoFile::close() {
    return file_.close();
}

std::string MemoFile::read(std::uint32_t block) {
    const std::uint64_t size = file_size(file_.fd());
    const std::uint64_t offset = static_cast<std::uint64_t>(block) * block_size_;
    if (offset < kHeaderBytes && layout_ == MemoLayout::Blocks)
        throw Corrupt("a memo pointer points into the memo header");
    if (layout_ == MemoLayout::Old) {
        if (offset < kHeaderBytes || offset >= size)
            throw Corrupt("a memo pointer points past the end of the memo file");
        std::string text;
        for (std::uint64_t at = offset; at < size; at += 4096) {
            const std::string piece = read_at(file_.fd(), at, 4096);
            const std::size_t end = piece.find('\x1A');
            if (end != std::string::npos) return text + piece.substr(0, end);
            text += piece;
        }
        return text;
    }
    if (offset + 8 > size) throw Corrupt("a memo pointer points past the end of the memo file");
    char head[8];
    if (!read_exact(file_.fd(), offset, head, 8)) throw Corrupt("a memo block cannot be read");
    const std::uint32_t length = be32(head + 4);
    if (length > size - offset - 8)
        throw Corrupt("a memo's length runs past the end of the memo file");
    std::string text(length, '\0');
    if (length > 0 && !read_exact(file_.fd(), offset + 8, text.data(), length)) {
        throw Corrupt("a memo block cannot be read");
    }
    return text;
}

std::uint32_t MemoFile::write(const std::string& text, bool shared, int* error) {
    *error = 0;
    if (text.empty()) return 0;
    const int fd = file_.fd();
    if (shared) wait_lock(fd, kMemoLockOffset, 1, true);
    std::uint32_t first = 0;
    char head[4];
    if (!read_exact(fd, 0, head, 4)) {
        *error = EIO;
    } else {
        first = layout_ == MemoLayout::Blocks ? be32(head) : le32(head);
        const std::uint32_t lowest = (kHeaderBytes + block_size_ - 1) / block_size_;
        // A next-free value below the header or far beyond the file is repaired from the size.
        const std::uint64_t size = file_size(fd);
        const std::uint64_t end_block = (size + block_size_ - 1) / block_size_;
        if (first < lowest || first > end_block)
            first = static_cast<std::uint32_t>(std::max<std::uint64_t>(lowest, end_block));
        std::string bytes = stored_form(text);
        const std::uint64_t blocks = bytes.size() / block_size_;
        const std::uint64_t offset = static_cast<std::uint64_t>(first) * block_size_;
        if (first + blocks > 0xFFFFFFFFu) {
            *error = EFBIG;
        } else if ((*error = reserve(fd, offset, bytes.size())) == 0 &&
                   (*error = write_at(fd, offset, bytes)) == 0) {
            *error = set_next_free(static_cast<std::uint32_t>(first + blocks));
        }
    }
    if (shared) unlock(fd, kMemoLockOffset, 1);
    return *error == 0 ? first : 0;
}

std::string MemoFile::stored_form(const std::string& text) const {
    std::string bytes;
    if (layout_ == MemoLayout::Blocks) {
        bytes.assign(8, '\0');
        put_be32(bytes.data(), kTextType);
        put_be32(bytes.data() + 4, static_cast<std::uint32_t>(text.size()));
        bytes += text;
    } else {
        bytes = text + "\x1A\x1A";
    }
    bytes.resize(blocks_for(text.size()) * block_size_, '\0');
    return bytes;
}

std::uint32_t MemoFile::first_block() const {
    return (kHeaderBytes + block_size_ - 1) / block_size_;
}

std::uint64_t MemoFile::blocks_for(std::size_t length) const {
    const std::uint64_t bytes = length + (layout_ == MemoLayout::Blocks ? 8 : 2);
    return (bytes + block_size_ - 1) / block_size_;
}

std::uint64_t MemoFile::end_block() {
    return (file_size(file_.fd()) + block_size_ - 1) / block_size_;
}

int MemoFile::put(std::uint32_t block, const std::string& text) {
    const std::string bytes = stored_form(text);
    const std::uint64_t offset = static_cast<std::uint64_t>(block) * block_size_;
    if (const int error = reserve(file_.fd(), offset, bytes.size()); error != 0) return error;
    return write_at(file_.fd(), offset, bytes);
}

int MemoFile::set_next_free(std::uint32_t block) {
    char next[4];
    if (layout_ == MemoLayout::Blocks) {
        put_be32(next, block);
    } else {
        put_le32(next, block);
    }
    return write_at(file_.fd(), 0, next, 4);
}

int MemoFile::cut(std::uint64_t blocks) {
    const std::uint64_t bytes = std::max<std::uint64_t>(blocks * block_size_, kHeaderBytes);
    if (bytes >= file_size(file_.fd())) return 0;
    return ::ftruncate(file_.fd(), static_cast<off_t>(bytes)) == 0 ? 0 : errno;
}

bool MemoFile::sync() {
    return file_.flush();
}

}  // namespace kv::db
