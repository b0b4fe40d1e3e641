#include "tools/kvdev/print.h"

#include <fstream>
#include <iterator>
#include <ostream>

namespace kv::dev {

std::vector<std::string> print_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        std::erase(line, '\r');  // a CR would end the line early
        std::size_t from = 0;
        for (std::size_t ff; (ff = line.find(kFormFeedLine, from)) != std::string::npos;
             from = ff + 1) {
            if (ff > from) lines.push_back(line.substr(from, ff - from));
            lines.emplace_back(1, kFormFeedLine);
        }
        if (from < line.size() || from == 0) lines.push_back(line.substr(from));
        start = end + 1;
    }
    lines.emplace_back(1, kEndOfTextLine);
    return lines;
}

std::uint8_t print_line(DeviceLink& link, const std::string& line, Patience patience) {
    link.send_command('P');
    link.send_string(line);
    auto status = link.read_byte(patience.reply);
    if (!status) throw ProtocolError("no answer from KV32");
    return *status;
}

int cli_print(DeviceLink& link, const Invocation& inv, std::ostream& out, std::ostream& err) {
    std::ifstream file(inv.args[0], std::ios::binary);
    if (!file) {
        err << "kvdev: cannot read " << inv.args[0] << '\n';
        return 2;
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    std::size_t printed = 0, feeds = 0;
    for (const std::string& line : print_lines(text)) {
        const auto status = print_line(link, line, Patience{std::max(inv.timeout, Timeout(10000))});
        if (status != kOk) {
            err << "kvdev: KV32 answered " << status_text(status) << " to a Print line\n";
            return 1;
        }
        if (line.size() == 1 && line[0] == kFormFeedLine)
            ++feeds;
        else if (line.size() != 1 || line[0] != kEndOfTextLine)
            ++printed;
    }
    out << "Printed " << printed << (printed == 1 ? " line" : " lines") << " and " << feeds
        << (feeds == 1 ? " form feed" : " form feeds") << ", then the end of text.\n";
    return 0;
}

}  // namespace kv::dev
