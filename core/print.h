#pragma once
// Where the Print command's documents go when no preview can be shown (headless runs).
#include <optional>
#include <string>
#include <vector>

namespace kv::core {

struct PrintDestination {
    // A printer queue to print on.
    std::optional<std::string> printer;
    // A folder for PDF files, one per document.
    std::optional<std::string> folder;
};
void set_print_destination(const PrintDestination& destination);
// What is wrong with the destination set, one warning a line: a printer that is not installed
// (with the printers there are), a folder in which no new file can be made (and why).
std::vector<std::string> print_destination_warnings();

// Ends a print job left open (the device never sent its end of text): its page files are deleted.
// True when there was one.
bool end_print_job();

}  // namespace kv::core
