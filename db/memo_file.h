#pragma once
// Memo files: the block layout (a 512-byte header with the next free block and the block size,
// each value in blocks that begin with its type and length) and the older layout of 512-byte
// blocks whose text ends with 0x1A 0x1A. New values are always written to new blocks, so a reader
// in another process never sees a value change under it; packing reclaims the old blocks.
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace kv::db {

enum class MemoLayout { Blocks, Old };

inline constexpr int kDefaultMemoBlockSize = 64;

// A memo file, which holds the texts of a table's memo fields.
class MemoFile {
  public:
    // Creates an empty memo file under exactly that name, on disk when this returns; false with
    // the platform's error when it cannot.
    static bool create(const std::string& name, MemoLayout layout,
                       int block_size = kDefaultMemoBlockSize);

    // Opens with the same access and sharing as its table; false with the platform's error.
    bool open(const std::string& name, MemoLayout layout, platform::Access access,
              platform::Share share);
    // Closes the file; false with the platform's error.
    bool close();
    // True while the file is open.
    bool is_open() const { return file_.is_open(); }
    // The file's descriptor.
    int fd() const { return file_.fd(); }
    // The file's name as opened.
    const std::string& name() const { return name_; }
    // The file's layout.
    MemoLayout layout() const { return layout_; }

    // The text stored from a block; throws Corrupt when the block or its length lie outside the
    // file.
    std::string read(std::uint32_t block);
    // Stores a text in new blocks and returns the first (0 for the empty text, which needs none);
    // 0 with *error set to the errno when the file could not be written.
    std::uint32_t write(const std::string& text, bool shared, int* error);

    // The size of a block in bytes.
    std::uint32_t block_size() const { return block_size_; }

    // For a pack that rewrites the file in place (Table::pack): the lowest block a text may take,
    // the blocks a text of that length takes, the blocks the file covers, a text stored at a given
    // block (no lock, the next free block left alone), the next free block set, the file cut
    // after a number of blocks and flushed to disk. The writes answer 0 or the errno.
    std::uint32_t first_block() const;
    // The number of blocks a text of that length takes.
    std::uint64_t blocks_for(std::size_t length) const;
    // The number of blocks the file covers.
    std::uint64_t end_block();
    // Stores a text at a block; 0 or the errno.
    int put(std::uint32_t block, const std::string& text);
    // Sets the next free block in the header; 0 or the errno.
    int set_next_free(std::uint32_t block);
    // Cuts the file after a number of blocks; 0 or the errno.
    int cut(std::uint64_t blocks);
    // Flushes the file to disk; false when it could not.
    bool sync();

  private:
    std::string stored_form(const std::string& text) const;

    platform::File file_;
    std::string name_;
    MemoLayout layout_ = MemoLayout::Blocks;
    std::uint32_t block_size_ = 512;
};

}  // namespace kv::db
