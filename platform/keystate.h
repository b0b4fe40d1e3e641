#pragma once
// Key state of the program's own windows, by Windows virtual-key code. The window layer records
// presses and releases from its key events; SIGINT and SIGTERM hold Esc down and ask the program
// to end.
namespace kv::platform {

constexpr int VK_ESCAPE = 27;
constexpr int VK_F4 = 115;

// Records that a key went down or up (called from the window's thread).
void set_key_down(int vk, bool down);
// True while the key is held down.
bool key_is_down(int vk);
// Holds a key down for good; async-signal-safe, for signal handlers.
void latch_key_down(int vk) noexcept;
// Releases every key (tests).
void release_all_keys();

// The program was asked to end (SIGINT, SIGTERM): every wait for the device ends at once.
// Async-signal-safe.
void request_termination() noexcept;
// True once SIGINT or SIGTERM asked the program to end.
bool termination_requested();
// Forgets the request (tests).
void clear_termination_request();

}  // namespace kv::platform
