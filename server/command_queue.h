#pragma once
// The command files waiting in the served folder, known without listing the folder on every
// look: the folder watch (inotify) tells which names appeared, and the folder is listed again only
// when its modification time has changed or the watch is not working. A file is ready once it is
// complete: renamed into place (as the client helpers post), or unchanged in size and time for the
// settling time (a file written in place, perhaps key by key). On a local file system, whose file
// times come from this machine's clock, a file whose last change lies that long in the past has
// settled already: a backlog found at the start is served at once.
#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace kv::server {

class CommandQueue {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kSettling{200};
    // A file's times are kept by a coarse clock, a tick or so behind: this much more is asked of
    // them.
    static constexpr std::chrono::milliseconds kFileTimeMargin{50};
    using WallClock = std::function<std::chrono::system_clock::time_point()>;

    // Watches the current folder when asked to and the file system allows it. `log` receives the
    // lines about files that are not served (names that are not literal, files kept).
    CommandQueue(bool watch, std::function<void(const std::string&)> log);
    ~CommandQueue();
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // The watch's descriptor, readable when names have changed; -1 without a watch.
    int watch_descriptor() const { return watch_; }
    // The clock that the file times are compared with (the system's, unless a test sets one).
    void set_wall_clock(WallClock clock) { wall_clock_ = std::move(clock); }
    // True when the folder's file times can tell that a file has settled (a local file system).
    bool file_times_tell() const { return local_times_; }

    // Reads the watch's notices.
    void read_watch();
    // The regular look: the folder listed when its time changed or without a working watch.
    void look();

    // The first waiting file, in serving order, that is ready now.
    std::optional<std::string> next_ready(Clock::time_point now);
    // True while files wait (ready or not).
    bool waiting() const { return !pending_.empty(); }
    // After next_ready found nothing: when the first file that is settling will have been
    // unchanged for the settling time (nothing when none is settling), so that it is looked at
    // then rather than at the next look.
    std::optional<Clock::time_point> next_settling() const { return next_settling_; }

    // After a file was carried out: forgotten when deleted, otherwise passed over while it
    // stays as it is now.
    void served(const std::string& name, bool deleted);

  private:
    struct Signature {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        std::int64_t modified = 0;  // nanoseconds
        bool operator==(const Signature&) const = default;
    };
    struct Waiting {
        std::optional<Signature> seen;  // as last looked at
        Clock::time_point since{};      // unchanged since then
        bool complete = false;          // renamed into place
    };
    struct Order {
        bool operator()(const std::string& a, const std::string& b) const;
    };

    static std::optional<Signature> signature_of(const std::string& name);
    bool settled_long_ago(const struct stat& st) const;
    void list_folder();
    void appeared(const std::string& name, bool complete);
    void vanished(const std::string& name);

    std::function<void(const std::string&)> log_;
    WallClock wall_clock_ = [] { return std::chrono::system_clock::now(); };
    bool local_times_ = false;
    int watch_ = -1;
    bool overflowed_ = true;  // the folder must be listed
    std::optional<std::int64_t> folder_time_;
    std::map<std::string, Waiting, Order> pending_;
    std::map<std::string, Signature> kept_;  // carried out, not deletable
    std::set<std::string> refused_;          // logged once, never served
    std::optional<Clock::time_point> next_settling_;
};

}  // namespace kv::server
