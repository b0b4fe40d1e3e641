#pragma once
// What the error handler's tests share: the project's sources, where a report's places are found.
#include <fstream>
#include <string>

namespace kv::errors {

// The line in a source file of the project that holds `text` (1-based; 0 when none does).
inline int source_line(const std::string& file, const std::string& text) {
    std::ifstream in(std::string(KV32_SOURCE_DIR) + "/" + file);
    std::string line;
    for (int n = 1; std::getline(in, line); ++n)
        if (line.find(text) != std::string::npos) return n;
    return 0;
}

}  // namespace kv::errors
