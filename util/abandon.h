#pragma once
// Abandoning an operation: a check that fails shows its own message and throws Abandon, which
// unwinds to the nearest recovery point, the catch of the operation's owner.
#include <stdexcept>
#include <string>

namespace kv::util {

// Thrown to abandon the operation in progress (see the top of this file).
class Abandon : public std::runtime_error {
  public:
    // An abandon with the reason for the log.
    explicit Abandon(const std::string& why = "operation abandoned") : std::runtime_error(why) {}
};

}  // namespace kv::util
