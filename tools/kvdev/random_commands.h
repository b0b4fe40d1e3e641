#pragma once
// A seeded stream of random device commands, with names good and bad: plain names and folders,
// wildcards, every path form that climbs or starts at the top, the settings file's name, the
// temporary mark, names too long for a file system or for a path, a NUL, control bytes. The
// tests send a few thousand of them, the benchmark as many as it is told; KV32 must answer each
// and, after them, still answer exactly.
#include <cstdint>
#include <random>
#include <string>

#include "tools/kvdev/commands.h"

namespace kv::dev {

class RandomCommands {
  public:
    explicit RandomCommands(std::uint32_t seed);

    struct Sent {
        std::string what;  // "17 (load): NAME", the name cut at 20 bytes
        bool answered;     // a status of the protocol (a catalogue: its lines)
    };
    // Sends the next command of the stream and reads its whole answer; throws ProtocolError when
    // KV32 does not answer in time or answers out of the protocol.
    Sent send_next(DeviceLink& link, Patience patience = {});
    std::uint64_t sent() const { return sent_; }

  private:
    std::size_t pick(std::size_t n);

    std::mt19937 rng_;
    std::uint64_t sent_ = 0;
};

// One round of every command on a file of its own at the served root, each answer checked byte
// for byte (Save, Load, Catalogue, Erase, and a Load refused after the Erase). Returns "" when all
// were exact, else what was not.
std::string exact_round(DeviceLink& link, Patience patience = {});

}  // namespace kv::dev
