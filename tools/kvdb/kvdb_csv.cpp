#include "tools/kvdb/kvdb_csv.h"

#include "tools/kvdb/kvdb_commands.h"

namespace kv::kvdb {

std::vector<CsvRow> parse_csv(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::vector<CsvRow> rows;
    long line = 1;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == '\n' || text.substr(at, 2) == "\r\n") {  // an empty line
            at += text[at] == '\n' ? 1 : 2;
            ++line;
            continue;
        }
        CsvRow row;
        row.line = line;
        for (;;) {
            std::string field;
            if (at < text.size() && text[at] == '"') {
                const long opened = line;
                for (++at;; ++at) {
                    if (at >= text.size())
                        throw Failure("line " + std::to_string(opened) +
                                      ": a quoted value is never closed");
                    if (text[at] == '"') {
                        if (at + 1 < text.size() && text[at + 1] == '"') {
                            field += '"';
                            ++at;
                            continue;
                        }
                        ++at;
                        break;
                    }
                    if (text[at] == '\n') ++line;
                    field += text[at];
                }
                if (at < text.size() && text[at] != ',' && text[at] != '\n' &&
                    text.substr(at, 2) != "\r\n")
                    throw Failure("line " + std::to_string(line) +
                                  ": text follows a closing quote");
            } else {
                while (at < text.size() && text[at] != ',' && text[at] != '\n' &&
                       text.substr(at, 2) != "\r\n")
                    field += text[at++];
            }
            row.fields.push_back(std::move(field));
            if (at < text.size() && text[at] == ',') {
                ++at;
                continue;
            }
            if (at < text.size()) {
                at += text[at] == '\n' ? 1 : 2;
                ++line;
            }
            break;
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

}  // namespace kv::kvdb
