#pragma once
// Where each exception was thrown. Every throw of the program notes the return addresses of the
// thrower's stack (the run time's __cxa_throw is wrapped), per thread, for the last few exceptions
// thrown; an exception caught far from its throw is then reported at the place that threw it.
#include <cstdint>
#include <optional>
#include <vector>

namespace kv::errors {

// The noted stack of an exception object (most recent throw on this thread first); when the
// object is unknown (nullptr), the stack of the latest throw on this thread. Innermost first.
std::optional<std::vector<std::uintptr_t>> thrown_stack(const void* object);

// Makes sure the wrapper is part of the program (called by ERRORSYS).
void note_throws();

}  // namespace kv::errors
