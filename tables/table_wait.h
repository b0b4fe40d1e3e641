#pragma once
// The waits of the table functions: opening, locking and appending never give up. Between tries
// they pause a few milliseconds in which the window's events are handled, so a waiting pop-up is
// painted and a waiting copy leaves the processor to the copy it waits for.
#include <functional>
#include <optional>
#include <string>

namespace kv::db {

// One pause between two tries.
void pause_between_tries();
// Installs the pause (an empty function goes back to the few milliseconds of event handling).
void set_wait_pause(std::function<void()> pause);

class ScopedWaitPause {
  public:
    explicit ScopedWaitPause(std::function<void()> pause);
    ~ScopedWaitPause();
    ScopedWaitPause(const ScopedWaitPause&) = delete;
    ScopedWaitPause& operator=(const ScopedWaitPause&) = delete;

  private:
    std::function<void()> previous_;
};

// The status pop-up text on screen, noted before a wait: closed while the wait shows its own and
// shown again when the wait ends.
class NotedPopup {
  public:
    NotedPopup();
    // Replaces what is on screen by the wait's own pop-up.
    void show_wait(const std::string& text, const std::optional<std::string>& title = {});
    // Closes the wait's pop-up, when one was shown, and shows the noted text again.
    void restore();
    const std::optional<std::string>& noted() const { return noted_; }

  private:
    std::optional<std::string> noted_;
    bool waiting_ = false;
};

inline constexpr const char* kBusyText = "Il sistema \xe8 momentaneamente occupato...";

// Tries until the attempt succeeds: for up to 3 seconds without a word, then with the pop-up
// kBusyText in place of the noted one. The pop-up is left up (popup.restore() takes it away).
void try_until_done(const std::function<bool()>& attempt, NotedPopup& popup);

}  // namespace kv::db
