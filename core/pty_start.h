#pragma once
// Bytes for a device on a pseudo-terminal that KV32 created wait until a device first opens its
// side. A device or emulator that flushes its input when it opens the line (as raw mode set with
// TCSAFLUSH does) would otherwise lose what was sent before, the start byte above all.
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace kv::core {

class PtyStartGate {
  public:
    // Watches the device side by its path; when it cannot be watched nothing is ever held.
    PtyStartGate(int master, const std::string& device_path);
    ~PtyStartGate();
    PtyStartGate(const PtyStartGate&) = delete;
    PtyStartGate& operator=(const PtyStartGate&) = delete;

    // Keeps the bytes while no device has opened its side yet, and answers true; false once
    // they may go straight to the line.
    bool hold(std::string_view bytes);

  private:
    void watch();
    void release();

    const int master_;
    int watch_ = -1;  // inotify descriptor
    int wake_ = -1;   // eventfd that ends the watch
    std::mutex mutex_;
    bool open_ = false;
    std::string held_;
    std::thread watcher_;
};

}  // namespace kv::core
