#pragma once
// Where the Print command's documents go when no preview can be shown (headless runs).
#include <optional>
#include <string>

namespace kv::core {

struct PrintDestination {
    // A printer queue to print on.
    std::optional<std::string> printer;
    // A folder for PDF files, one per document.
    std::optional<std::string> folder;
};
void set_print_destination(const PrintDestination& destination);

// Ends a print job left open (the device never sent its end of text): its page files are deleted.
// True when there was one.
bool end_print_job();

}  // namespace kv::core
