#pragma once
// The CSV that kvdb import reads (what dump writes): fields separated by commas, a field quoted
// with '"' when it holds a comma, a quote (doubled) or a line break; rows end with LF or CR LF.
#include <string>
#include <string_view>
#include <vector>

namespace kv::kvdb {

struct CsvRow {
    long line = 0;  // the line the row begins on, from 1
    std::vector<std::string> fields;
};

// Every row of the text; empty lines are passed over and a byte-order mark at the start is
// dropped. Throws Failure, naming the line, for a quote that is never closed or text after a
// closing quote.
std::vector<CsvRow> parse_csv(std::string_view text);

}  // namespace kv::kvdb
