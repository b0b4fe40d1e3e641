#include "errors/thrown_place.h"

#include <dlfcn.h>
#include <execinfo.h>

#include <array>
#include <cstdlib>

namespace kv::errors {
namespace {

constexpr int kFrames = 64;
constexpr std::size_t kRemembered = 8;

struct Thrown {
    const void* object = nullptr;
    std::array<void*, kFrames> frames{};
    int depth = 0;
};

struct Throws {
    std::array<Thrown, kRemembered> ring;
    std::size_t next = 0;
    std::size_t count = 0;
};

Throws& throws() {
    thread_local Throws noted;
    return noted;
}

// The run time's throw, as the compiler declares it: object, its type_info, its destructor.
using ThrowFunction = void (*)(void*, void*, void (*)(void*));

ThrowFunction real_throw() {
    static const auto real = reinterpret_cast<ThrowFunction>(::dlsym(RTLD_NEXT, "__cxa_throw"));
    return real;
}

void note(const void* object) {
    Throws& noted = throws();
    Thrown& slot = noted.ring[noted.next];
    slot.object = object;
    slot.depth = ::backtrace(slot.frames.data(), kFrames);
    noted.next = (noted.next + 1) % kRemembered;
    if (noted.count < kRemembered) ++noted.count;
}

}  // namespace

std::optional<std::vector<std::uintptr_t>> thrown_stack(const void* object) {
    const Throws& noted = throws();
    for (std::size_t i = 1; i <= noted.count; ++i) {
        const Thrown& slot = noted.ring[(noted.next + kRemembered - i) % kRemembered];
        if (object && slot.object != object) continue;
        std::vector<std::uintptr_t> stack;
        // Frame 0 is the wrapper itself.
        for (int f = 1; f < slot.depth; ++f)
            stack.push_back(reinterpret_cast<std::uintptr_t>(slot.frames[f]));
        return stack;
    }
    return std::nullopt;
}

void note_throws() {
    real_throw();
}

}  // namespace kv::errors

// Every throw passes here first: the stack is noted, then the run time's own __cxa_throw (or the
// next wrapper, the address sanitizer's) throws as always.
extern "C" void __cxa_throw(void* object, void* type, void (*destroy)(void*)) {
    kv::errors::note(object);
    const auto real = kv::errors::real_throw();
    if (!real) std::abort();
    real(object, type, destroy);
    __builtin_unreachable();
}
