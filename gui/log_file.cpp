// The log file of --log: every log line appended as it is written, with the date and time. The
// file is followed by its name, as log rotation expects: when the name no longer leads to the
// file being written (moved away, deleted, replaced), the next line opens a new file there.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "gui/main_window.h"
#include "platform/clock.h"
#include "platform/codepages.h"
#include "platform/texts.h"

namespace kv::gui {
namespace {

struct LogFile {
    std::string path;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    bool checked_once = false;
    platform::TimePoint checked{};
    bool mid_line = false;  // the file ends in a line that a failed write cut
    bool failing = false;   // a failure was said; the next is said after a write succeeds
};
LogFile log;

void close_log() {
    if (log.fd >= 0) ::close(log.fd);
    log.fd = -1;
}

int open_log(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
}

void adopt(int fd) {
    close_log();
    log.fd = fd;
    struct stat st {};
    if (::fstat(fd, &st) == 0) {
        log.device = st.st_dev;
        log.inode = st.st_ino;
    }
    log.mid_line = false;
}

// Opens the file anew when its name no longer leads to the file being written; looked at once
// a second at most. 0, or the error number of a file that cannot be opened again.
int follow_name() {
    const platform::TimePoint now = platform::clock().now();
    if (log.checked_once && now - log.checked < kLogNameCheck) return 0;
    log.checked_once = true;
    log.checked = now;
    struct stat st {};
    if (::stat(log.path.c_str(), &st) == 0 && st.st_dev == log.device && st.st_ino == log.inode)
        return 0;
    const int fd = open_log(log.path);
    if (fd < 0) return errno;
    adopt(fd);
    return 0;
}

// Writes all of `out`; 0, or the error number of why not. The file's end is kept track of, so that
// a line that follows a cut one begins on a line of its own.
int write_all(const std::string& out) {
    std::size_t done = 0;
    int failure = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(log.fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (done > 0) log.mid_line = out[done - 1] != '\n';
    return failure;
}

}  // namespace

std::string log_stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    return std::string(text, std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S ", &local));
}

bool set_log_file(const std::string& path, std::string* error) {
    close_log();
    log = LogFile{};
    if (path.empty()) return true;
    const int fd = open_log(path);
    if (fd < 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    log.path = path;
    adopt(fd);
    return true;
}

std::string write_log_file(const std::string& line) {
    if (log.path.empty()) return {};
    int failure = follow_name();
    if (failure == 0 && log.fd >= 0)
        failure = write_all((log.mid_line ? "\n" : "") + log_stamp() +
                            platform::ansi_to_utf8(line) + "\n");
    if (failure == 0) {
        log.failing = false;
        return {};
    }
    if (log.failing) return {};
    log.failing = true;
    // Said once on standard error, in the command line's words, and to the caller for the log.
    std::fprintf(stderr,
                 "kv32: cannot write the log file %s (%s): lines are missing from it until it can "
                 "be written again; free some space or choose another file with --log\n",
                 log.path.c_str(), std::strerror(failure));
    std::fflush(stderr);
    return platform::translated("Log",
                                "Cannot write the log file %1 (%2): lines are missing from it "
                                "until it can be written again.")
        .arg(log.path)
        .arg(platform::system_error_text(failure));
}

}  // namespace kv::gui
