#include "server/command_queue.h"

#include <dirent.h>
#include <linux/magic.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>
#include <vector>

#include "server/command_files.h"

namespace kv::server {
namespace {

constexpr std::uint32_t kWatched = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_MODIFY |
                                   IN_ATTRIB | IN_DELETE | IN_MOVED_FROM | IN_DELETE_SELF |
                                   IN_MOVE_SELF;

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// File systems whose file times this machine's kernel writes: a network folder's come from
// another machine, whose clock may run behind.
bool local_file_times(const char* folder) {
    struct statfs fs;
    if (::statfs(folder, &fs) != 0) return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
        case EXT4_SUPER_MAGIC:
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case RAMFS_MAGIC:
        case F2FS_SUPER_MAGIC:
        case OVERLAYFS_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool CommandQueue::Order::operator()(const std::string& a, const std::string& b) const {
    return comes_before(a, b);
}

CommandQueue::CommandQueue(bool watch, std::function<void(const std::string&)> log)
    : log_(std::move(log)), local_times_(local_file_times(".")) {
    if (!watch) return;
    watch_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && ::inotify_add_watch(watch_, ".", kWatched) < 0) {
        ::close(watch_);
        watch_ = -1;
    }
}

CommandQueue::~CommandQueue() {
    if (watch_ >= 0) ::close(watch_);
}

std::optional<CommandQueue::Signature> CommandQueue::signature_of(const std::string& name) {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return Signature{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim)};
}

// Neither written nor changed (a change time cannot be set back) for the settling time, by the
// file system's own clock.
bool CommandQueue::settled_long_ago(const struct stat& st) const {
    if (!local_times_) return false;
    const std::int64_t last = std::max(nanoseconds(st.st_mtim), nanoseconds(st.st_ctim));
    const auto now =
        std::chrono::duration_cast<std::chrono::nanoseconds>(wall_clock_().time_since_epoch())
            .count();
    return now - last >= std::chrono::nanoseconds(kSettling + kFileTimeMargin).count();
}

void CommandQueue::read_watch() {
    alignas(inotify_event) std::array<char, 16384> buffer;
    while (true) {
        const ssize_t n = ::read(watch_, buffer.data(), buffer.size());
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;
        }
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_Q_OVERFLOW) overflowed_ = true;
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                // The folder itself went: the looks list it from now on.
                ::close(watch_);
                watch_ = -1;
                overflowed_ = true;
                return;
            }
            if (event->len == 0) continue;
            const std::string name = event->name;
            if (!matches_command_pattern(name)) continue;
            if (event->mask & (IN_DELETE | IN_MOVED_FROM))
                vanished(name);
            else
                appeared(name, (event->mask & IN_MOVED_TO) != 0);
        }
    }
}

void CommandQueue::look() {
    struct stat st;
    if (::stat(".", &st) != 0) return;
    const std::int64_t time = nanoseconds(st.st_mtim);
    const bool changed = !folder_time_ || *folder_time_ != time;
    folder_time_ = time;
    if (changed || overflowed_ || watch_ < 0) list_folder();
}

void CommandQueue::list_folder() {
    overflowed_ = false;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir("."), ::closedir);
    if (!dir) return;
    std::set<std::string> present;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (matches_command_pattern(name)) present.insert(name);
    }
    for (auto it = pending_.begin(); it != pending_.end();)
        it = present.count(it->first) ? std::next(it) : pending_.erase(it);
    for (auto it = kept_.begin(); it != kept_.end();)
        it = present.count(it->first) ? std::next(it) : kept_.erase(it);
    for (auto it = refused_.begin(); it != refused_.end();)
        it = present.count(*it) ? std::next(it) : refused_.erase(it);
    for (const auto& name : present)
        if (!pending_.count(name)) appeared(name, false);
}

void CommandQueue::appeared(const std::string& name, bool complete) {
    if (refused_.count(name)) return;
    if (!literal_command_name(name)) {
        refused_.insert(name);
        if (log_) log_(name + ": not a command file (its name holds \\ or /): left alone");
        return;
    }
    if (const auto kept = kept_.find(name); kept != kept_.end()) {
        if (signature_of(name) == kept->second) return;  // carried out once already
        kept_.erase(kept);
    }
    Waiting& waiting = pending_[name];
    if (complete) {
        waiting.complete = true;
    } else if (waiting.complete || waiting.seen) {
        // Written again: it must settle afresh.
        waiting.complete = false;
        waiting.seen.reset();
    }
}

void CommandQueue::vanished(const std::string& name) {
    pending_.erase(name);
    kept_.erase(name);
    refused_.erase(name);
}

std::optional<std::string> CommandQueue::next_ready(Clock::time_point now) {
    next_settling_.reset();
    const auto settling = [this](Clock::time_point at) {
        if (!next_settling_ || at < *next_settling_) next_settling_ = at;
    };
    for (auto it = pending_.begin(); it != pending_.end();) {
        const std::string& name = it->first;
        Waiting& waiting = it->second;
        struct stat st;
        if (waiting.complete || !waiting.seen || now - waiting.since >= kSettling) {
            if (::lstat(name.c_str(), &st) != 0) {
                it = pending_.erase(it);  // gone
                continue;
            }
            if (!S_ISREG(st.st_mode)) {
                refused_.insert(name);
                if (log_) log_(name + ": not a regular file: left alone");
                it = pending_.erase(it);
                continue;
            }
            const Signature now_seen{st.st_dev, st.st_ino, st.st_size, nanoseconds(st.st_mtim)};
            if (waiting.complete) return name;
            if (waiting.seen ? *waiting.seen == now_seen : settled_long_ago(st)) return name;
            waiting.seen = now_seen;
            waiting.since = now;
        }
        settling(waiting.since + kSettling);
        ++it;
    }
    return std::nullopt;
}

void CommandQueue::served(const std::string& name, bool deleted) {
    pending_.erase(name);
    if (deleted) return;
    if (const auto signature = signature_of(name)) kept_[name] = *signature;
}

}  // namespace kv::server
