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
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

}  // namespace kv::core
