#include "util/text.h"

namespace kv::util {

std::string trim_trailing_blanks(const std::string& text) {
    const auto last = text.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : text.substr(0, last + 1);
}

std::string trim_blanks(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : trim_trailing_blanks(text.substr(first));
}

std::string ascii_upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string pad_right(const std::string& text, std::size_t width) {
    std::string result = text.substr(0, width);
    result.resize(width, ' ');
    return result;
}

std::string escape_log_text(const std::string& line) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        // 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in Windows-1252: decoded, they
        // would be C1 control characters, which some terminals obey.
        const bool undefined =
            byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
        if (byte >= 0x20 && byte != 0x7F && !undefined) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

}  // namespace kv::util
