#pragma once
// The write of every line to the device: without blocking, so that a device that stops reading
// never holds the window's thread for ever.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string_view>

namespace kv::core {

// Writes one piece without blocking: the count taken, or -1 with errno set (EAGAIN when the line
// takes nothing now).
using PieceWriter = std::function<long(const char* data, std::size_t size)>;

// Writes every byte with `write_piece` unless the line fails, takes nothing for `stall_limit`,
// or `give_up` (asked before each piece, and a few times a second while the line takes nothing)
// answers true. While the line takes nothing it waits on `fd` for room. Returns the count written.
std::size_t write_bounded(int fd, std::string_view bytes, std::chrono::milliseconds stall_limit,
                          const std::function<bool()>& give_up, const PieceWriter& write_piece);

}  // namespace kv::core
