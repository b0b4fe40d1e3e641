#include "core/catalogue_lines.h"

#include "util/text.h"

namespace kv::core {

using util::pad_right;

std::string blank_line() {
    return std::string(kCatalogueWidth, ' ');
}

std::string title_line() {
    return pad_right("* KV PROJECT CATALOGUE *", kCatalogueWidth);
}

std::string folder_path_line(const std::string& path) {
    return pad_right(path, kCatalogueWidth);
}

std::string folder_line(const std::string& name) {
    return pad_right(pad_right(name, 10) + " DIR", kCatalogueWidth);
}

std::string stored_file_words(const StoredHeader& h) {
    if (h.type == 0) return h.param2 > 0 ? "BAS LINE " + std::to_string(h.param2) : "BAS";
    std::string words = "CDE " + std::to_string(h.param1) + "," + std::to_string(h.length);
    if (h.param2 > 0) words += "," + std::to_string(h.param2);
    return words;
}

std::string stored_file_line(const std::string& name, const StoredHeader& h) {
    return pad_right(pad_right(name, 11) + stored_file_words(h), kCatalogueWidth);
}

std::string free_space_line(std::uint64_t free_bytes) {
    std::string kilobytes = std::to_string(free_bytes / 1024);
    if (kilobytes.size() < 10) kilobytes.resize(10, ' ');
    std::string line = "No. of Free K-Bytes = " + kilobytes;
    return line.size() > kCatalogueWidth ? line : pad_right(line, kCatalogueWidth);
}

std::string count_line(unsigned count) {
    return pad_right(std::to_string(count) + " File(s)", kCatalogueWidth);
}

}  // namespace kv::core
