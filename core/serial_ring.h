#pragma once
// The port record's receive ring: 2048 bytes between the reader thread (the one producer) and the
// window's thread (the one consumer), without a lock. Each index is written by one side only and
// goes back to 0 after 2047; the ring is empty when they are equal, so it holds at most 2047
// bytes. The producer never overwrites: it stores only as many bytes as there is room for.
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kv::core {

class ByteRing {
  public:
    static constexpr std::size_t kSize = 2048;
    static constexpr std::size_t kCapacity = kSize - 1;

    // Consumer or producer: bytes waiting to be taken.
    std::size_t used() const { return (index(write_) + kSize - index(read_)) % kSize; }
    std::size_t room() const { return kCapacity - used(); }
    bool empty() const { return used() == 0; }

    // Producer: stores as many leading bytes as there is room for; returns how many.
    std::size_t push(std::string_view bytes) {
        const std::size_t free = room();  // read once: the consumer may make more meanwhile
        const std::size_t count = bytes.size() < free ? bytes.size() : free;
        std::size_t at = index(write_);
        for (std::size_t i = 0; i < count; ++i) {
            data_[at] = bytes[i];
            at = (at + 1) % kSize;
        }
        write_.store(static_cast<std::int16_t>(at));  // publishes the bytes
        return count;
    }

    // Consumer: copies up to `capacity` waiting bytes into `out`; returns how many.
    std::size_t pop(char* out, std::size_t capacity) {
        const std::size_t available = used();
        const std::size_t count = capacity < available ? capacity : available;
        std::size_t at = index(read_);
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = data_[at];
            at = (at + 1) % kSize;
        }
        read_.store(static_cast<std::int16_t>(at));  // gives the room back
        return count;
    }

    std::size_t write_index() const { return index(write_); }
    std::size_t read_index() const { return index(read_); }

  private:
    static std::size_t index(const std::atomic<std::int16_t>& i) {
        return static_cast<std::size_t>(i.load());
    }

    std::array<char, kSize> data_{};
    std::atomic<std::int16_t> write_{0};
    std::atomic<std::int16_t> read_{0};
};

}  // namespace kv::core
