#include "core/catalogue_lines.h"

namespace kv::core {

std::string fit(const std::string& text, std::size_t width) {
    std::string out = text.substr(0, width);
    out.resize(width, ' ');
    return out;
}

std::string blank_line() { return std::string(kCatalogueWidth, ' '); }

std::string title_line() { return fit("* KV PROJECT CATALOGUE *", kCatalogueWidth); }

std::string folder_path_line(const std::string& path) { return fit(path, kCatalogueWidth); }

std::string folder_line(const std::string& name) { return fit(fit(name, 10) + " DIR", kCatalogueWidth); }

std::string stored_file_line(const std::string& name, const StoredHeader& h) {
    std::string line = fit(name, 11);
    if (h.type == 0) {
        line += "BAS";
        if (h.param2 > 0) line += " LINE " + std::to_string(h.param2);
    } else {
        line += "CDE " + std::to_string(h.param1) + "," + std::to_string(h.length);
        if (h.param2 > 0) line += "," + std::to_string(h.param2);
    }
    return fit(line, kCatalogueWidth);
}

std::string free_space_line(std::uint64_t free_bytes) {
    std::string kilobytes = std::to_string(free_bytes / 1024);
    if (kilobytes.size() < 10) kilobytes.resize(10, ' ');
    std::string line = "No. of Free K-Bytes = " + kilobytes;
    return line.size() > kCatalogueWidth ? line : fit(line, kCatalogueWidth);
}

std::string count_line(unsigned count) { return fit(std::to_string(count) + " File(s)", kCatalogueWidth); }

}  // namespace kv::core
