#pragma once
// The receive buffer: bytes moved from the serial port's ring by the notification handler, taken
// one at a time from the front by the receive primitives. Used only on the window's thread.
#include <deque>
#include <string>
#include <string_view>

namespace kv::core {

class ReceiveBuffer {
  public:
    void append(std::string_view bytes) { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }
    bool empty() const { return bytes_.empty(); }
    std::size_t size() const { return bytes_.size(); }
    // Removes and returns the first byte as a one-byte string; the empty string when empty.
    std::string take_front() {
        if (bytes_.empty()) return {};
        std::string one(1, bytes_.front());
        bytes_.pop_front();
        return one;
    }
    void clear() { bytes_.clear(); }

  private:
    std::deque<char> bytes_;
};

// The program's one receive buffer.
ReceiveBuffer& receive_buffer();

// Takes the first byte of the receive buffer; the empty string when it is empty.
std::string GETCHAR();

}  // namespace kv::core
