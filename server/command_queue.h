#pragma once
// The command files waiting in the served folder, known without listing the folder on every
// look: the folder watch (inotify) tells which names appeared, and the folder is listed again only
// when its modification time has changed or the watch is not working. A file is ready once it is
// complete: renamed into place (as the client helpers post), or unchanged in size and time for the
// settling time (a file written in place, perhaps key by key).
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

    // Watches the current folder when asked to and the file system allows it. `log` receives the
    // lines about files that are not served (names that are not literal, files kept).
    CommandQueue(bool watch, std::function<void(const std::string&)> log);
    ~CommandQueue();
    CommandQueue(const CommandQueue&) = delete;
    CommandQueue& operator=(const CommandQueue&) = delete;

    // The watch's descriptor, readable when names have changed; -1 without a watch.
    int watch_descriptor() const { return watch_; }
    // Reads the watch's notices.
    void read_watch();
    // The regular look: the folder listed when its time changed or without a working watch.
    void look();

    // The first waiting file, in serving order, that is ready now.
    std::optional<std::string> next_ready(Clock::time_point now);
    // True while files wait (ready or not).
    bool waiting() const { return !pending_.empty(); }

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
    void list_folder();
    void appeared(const std::string& name, bool complete);
    void vanished(const std::string& name);

    std::function<void(const std::string&)> log_;
    int watch_ = -1;
    bool overflowed_ = true;  // the folder must be listed
    std::optional<std::int64_t> folder_time_;
    std::map<std::string, Waiting, Order> pending_;
    std::map<std::string, Signature> kept_;  // carried out, not deletable
    std::set<std::string> refused_;          // logged once, never served
};

}  // namespace kv::server
