#include "gui/text.h"

#include "platform/codepages.h"

namespace kv::gui {
namespace {

char ansi_byte_of(char16_t u) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
    for (unsigned b = 0x80; b < 0xA0; ++b)
        if (platform::ansi_to_unicode(static_cast<unsigned char>(b)) == u)
            return static_cast<char>(b);
    return '?';
}

}  // namespace

QString from_ansi(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char b : bytes) out += QChar(static_cast<char16_t>(platform::ansi_to_unicode(b)));
    return out;
}

std::string to_ansi(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (QChar c : text) out += ansi_byte_of(c.unicode());
    return out;
}

}  // namespace kv::gui
