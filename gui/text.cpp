#include "gui/text.h"

#include "platform/codepages.h"

namespace kv::gui {

QString from_ansi(std::string_view bytes) {
    QString out;
    out.reserve(static_cast<qsizetype>(bytes.size()));
    for (unsigned char b : bytes) out += QChar(static_cast<char16_t>(platform::ansi_to_unicode(b)));
    return out;
}

}  // namespace kv::gui
