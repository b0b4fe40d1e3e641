// The log file of --log: every log line appended as it is written, with the date and time.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

#include "gui/main_window.h"
#include "platform/codepages.h"

namespace kv::gui {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
std::unique_ptr<std::FILE, FileCloser> log_file;

}  // namespace

std::string log_stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S ", &local));
}

bool set_log_file(const std::string& path, std::string* error) {
    log_file.reset();
    if (path.empty()) return true;
    std::FILE* f = std::fopen(path.c_str(), "a");
    if (!f) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    log_file.reset(f);
    return true;
}

void write_log_file(const std::string& line) {
    if (!log_file) return;
    const std::string out = log_stamp() + platform::ansi_to_utf8(line) + "\n";
    std::fwrite(out.data(), 1, out.size(), log_file.get());
    // Line by line, so that a program reading the file (tail -f) sees each line at once and
    // an abrupt end loses nothing.
    std::fflush(log_file.get());
}

}  // namespace kv::gui
