#include <array>

#include "platform/codepages.h"
#include "tools/kvdb/kvdb.h"

namespace kv::kvdb {

std::string utf8_to_ansi(const std::string& text) {
    static const std::array<char32_t, 256> kCodes = [] {
        std::array<char32_t, 256> codes{};
        for (int b = 0; b < 256; ++b)
            codes[static_cast<std::size_t>(b)] =
                platform::ansi_to_unicode(static_cast<unsigned char>(b));
        return codes;
    }();
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        char32_t code = lead;
        std::size_t length = 1;
        if (lead >= 0xF0) {
            code = lead & 0x07;
            length = 4;
        } else if (lead >= 0xE0) {
            code = lead & 0x0F;
            length = 3;
        } else if (lead >= 0xC0) {
            code = lead & 0x1F;
            length = 2;
        }
        if (i + length > text.size()) length = 1;
        for (std::size_t k = 1; k < length; ++k)
            code = code << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        i += length;
        char byte = '?';
        for (int b = 0; b < 256; ++b) {
            if (kCodes[static_cast<std::size_t>(b)] == code) {
                byte = static_cast<char>(b);
                break;
            }
        }
        out += byte;
    }
    return out;
}

std::string csv_field(const std::string& text) {
    const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                       (!text.empty() && (text.front() == ' ' || text.back() == ' '));
    if (!quote) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

}  // namespace kv::kvdb
