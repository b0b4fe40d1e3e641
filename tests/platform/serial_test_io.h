#pragma once
// Reading a known number of bytes from a terminal descriptor in tests.
#include <unistd.h>

#include <string>

namespace kv::test {

// Reads exactly n bytes (fewer only when the descriptor ends or fails).
inline std::string read_exactly(int fd, std::size_t n) {
    std::string bytes(n, '\0');
    std::size_t have = 0;
    while (have < n) {
        ssize_t got = ::read(fd, bytes.data() + have, n - have);
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    bytes.resize(have);
    return bytes;
}

}  // namespace kv::test
