#include "tools/kvdev/print.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <clocale>
#include <filesystem>
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

std::optional<std::string> to_windows_1252(const std::string& text, const std::string& encoding,
                                           std::string& error) {
    iconv_t convert = ::iconv_open("WINDOWS-1252", encoding.c_str());
    if (convert == reinterpret_cast<iconv_t>(-1)) {
        error = "cannot convert from " + encoding + " to Windows-1252";
        return std::nullopt;
    }
    std::string out;
    std::size_t line = 1;
    std::size_t start = 0;
    bool ok = true;
    // Line by line, so that a character without a Windows-1252 form is reported by its line.
    while (ok && start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string in = text.substr(start, end - start);
        char* from = in.data();
        std::size_t from_left = in.size();
        std::string piece(in.size() * 2 + 16, '\0');  // never longer than its input
        char* to = piece.data();
        std::size_t to_left = piece.size();
        if (::iconv(convert, &from, &from_left, &to, &to_left) == static_cast<std::size_t>(-1)) {
            error = "line " + std::to_string(line) +
                    (errno == EILSEQ ? " has a character that Windows-1252 cannot hold"
                                     : " is not valid " + encoding) +
                    " (kvdev print --raw sends the bytes as they are)";
            ok = false;
        }
        out.append(piece.data(), piece.size() - to_left);
        start = end;
        ++line;
    }
    ::iconv_close(convert);
    if (!ok) return std::nullopt;
    return out;
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
    const int error = errno;
    if (!file || std::filesystem::is_directory(inv.args[0])) {
        err << "kvdev: cannot read " << inv.args[0] << ": " << why_not_opened(inv.args[0], error)
            << '\n';
        return 1;
    }
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (!inv.raw) {
        // The device prints Windows-1252; the file is in the locale's encoding.
        std::setlocale(LC_CTYPE, "");
        std::string error;
        auto converted = to_windows_1252(text, ::nl_langinfo(CODESET), error);
        if (!converted) {
            err << "kvdev: " << inv.args[0] << ": " << error << '\n';
            return 1;
        }
        text = std::move(*converted);
    }
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
