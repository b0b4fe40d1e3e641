#pragma once
// The process-wide run-time settings: fixed by the library's start-up procedure and read by the
// rest of the system. Before start-up they hold the run-time's neutral defaults.
#include <string>

namespace kv::util {

// The run-time settings: formats, epoch, file-name case and the other switches.
struct RuntimeSettings {
    // Tables.
    std::string table_format = "DBFNTX";
    int memo_layout = 1;
    std::string memo_extension = ".DBT";
    int lock_scheme = 0;
    bool auto_share = false;
    bool hide_deleted = false;
    // Dates: "dd/mm/yy" style masks; a two-digit year below epoch % 100 belongs to the next
    // century.
    std::string date_format = "mm/dd/yy";
    // Whether years are shown with their century; the date format follows it at start-up.
    bool century = false;
    int epoch = 1900;
    // "UPPER": name and extension of every file handed to a file operation are upper-cased.
    std::string file_case = "MIXED";
    // Columns (80ths of the page width) added to every printed column.
    int print_margin = 0;
};

// The registry. Only the GUI thread touches it.
RuntimeSettings& settings();

// Sets the file-name case and passes it on to the file layer, which applies it to every operation.
void set_file_case(const std::string& mode);

}  // namespace kv::util
