#pragma once
// What a Catalogue lists for a pattern, as entries and as the lines it sends: the one listing
// that the device's "C", kvfile's list and the window's file view share.
#include <cstdint>
#include <string>
#include <vector>

#include "core/stored_file.h"

namespace kv::core {

// A folder or stored file of a listing; other files are never listed.
struct ListedEntry {
    std::string name;  // as on disk
    bool folder = false;
    StoredHeader header;     // stored files only
    std::uint64_t size = 0;  // the file's size on disk, header included (0 for folders)
};

// The entries of one listing and the folder they are in.
struct Listing {
    std::string folder;  // the listed folder: absolute, inside the served tree
    std::vector<ListedEntry> entries;
    unsigned stored = 0;  // the stored files among the entries
};

// The pattern a Catalogue searches for a pattern the device sent: one that ends in a separator
// lists that folder's entries, as does one whose last part is "." or "..".
std::string catalogue_search_pattern(std::string pattern);
// The folders and stored files that match a pattern (as the device sends it), in the order the
// directory search returns them; "" lists the device's current folder.
Listing list_catalogue(const std::string& pattern);
// The catalogue line of one entry.
std::string entry_line(const ListedEntry& entry);
// Every line a Catalogue sends for a listing, in order, with the free space given.
std::vector<std::string> catalogue_lines(const Listing& listing, std::uint64_t free_bytes);
// The free bytes a Catalogue reports: those of the disk of the current folder.
std::uint64_t catalogue_free_bytes();

}  // namespace kv::core
