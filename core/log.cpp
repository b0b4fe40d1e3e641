#include "core/log.h"

#include <cstdio>

namespace kv::core {
namespace {

std::function<void(const std::string&)> log_sink;

}  // namespace

void set_log_sink(std::function<void(const std::string&)> sink) {
    log_sink = std::move(sink);
}

void log_line(const std::string& line) {
    if (log_sink) {
        log_sink(line);
    } else {
        std::fprintf(stderr, "%s\n", escape_log_text(line).c_str());
    }
}

std::string escape_log_text(const std::string& line) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
        } else {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        }
    }
    return out;
}

ScopedLogSink::ScopedLogSink(std::function<void(const std::string&)> sink)
    : previous_(std::move(log_sink)) {
    log_sink = std::move(sink);
}

ScopedLogSink::~ScopedLogSink() {
    log_sink = std::move(previous_);
}

}  // namespace kv::core
