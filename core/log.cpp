#include "core/log.h"

#include <cstdio>

#include "util/text.h"

namespace kv::core {
namespace {

std::function<void(const std::string&)> log_sink;
bool verbose = false;

}  // namespace

void set_log_sink(std::function<void(const std::string&)> sink) {
    log_sink = std::move(sink);
}

void log_line(const std::string& line) {
    if (log_sink) {
        log_sink(line);
    } else {
        std::fprintf(stderr, "%s\n", util::escape_log_text(line).c_str());
    }
}

void set_verbose_log(bool on) {
    verbose = on;
}

bool verbose_log() {
    return verbose;
}

void log_outcome(const std::string& line) {
    if (verbose) log_line(line);
}

std::string counted(std::size_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string shown_name(const std::string& name) {
    if (name.empty()) return "(no name)";
    if (name.size() <= kShownNameBytes) return name;
    return name.substr(0, kShownNameBytes) + "\x85";
}

ScopedLogSink::ScopedLogSink(std::function<void(const std::string&)> sink)
    : previous_(std::move(log_sink)) {
    log_sink = std::move(sink);
}

ScopedLogSink::~ScopedLogSink() {
    log_sink = std::move(previous_);
}

}  // namespace kv::core
