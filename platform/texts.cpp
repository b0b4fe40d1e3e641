#include "platform/texts.h"

#include <atomic>
#include <cerrno>
#include <cstring>

namespace kv::platform {
namespace {

std::atomic<Translator> installed{nullptr};

}  // namespace

Text& Text::arg(const std::string& value) {
    char lowest = 0;
    for (std::size_t i = 0; i + 1 < text_.size(); ++i)
        if (text_[i] == '%' && text_[i + 1] >= '1' && text_[i + 1] <= '9' &&
            (lowest == 0 || text_[i + 1] < lowest))
            lowest = text_[i + 1];
    if (lowest == 0) return *this;
    std::string out;
    for (std::size_t i = 0; i < text_.size(); ++i) {
        if (text_[i] == '%' && i + 1 < text_.size() && text_[i + 1] == lowest) {
            out += value;
            ++i;
        } else {
            out += text_[i];
        }
    }
    text_ = std::move(out);
    return *this;
}

void set_translator(Translator translator) {
    installed.store(translator);
}

Text translated(const char* context, const char* source) {
    const Translator t = installed.load();
    return Text(t ? t(context, source) : std::string(source));
}

std::string system_error_text(int error) {
    switch (error) {
        case ENOENT:
            return translated("System", "No such file or directory");
        case EACCES:
            return translated("System", "Permission denied");
        case EPERM:
            return translated("System", "Operation not permitted");
        case EIO:
            return translated("System", "Input/output error");
        case ENOSPC:
            return translated("System", "No space left on device");
        case EDQUOT:
            return translated("System", "Disk quota exceeded");
        case EROFS:
            return translated("System", "Read-only file system");
        case EBUSY:
            return translated("System", "Device or resource busy");
        case ENOTDIR:
            return translated("System", "Not a directory");
        case EISDIR:
            return translated("System", "Is a directory");
        case ENXIO:
            return translated("System", "No such device or address");
        case ENODEV:
            return translated("System", "No such device");
        case EADDRINUSE:
            return translated("System", "Address already in use");
        default:
            return std::strerror(error);
    }
}

}  // namespace kv::platform
