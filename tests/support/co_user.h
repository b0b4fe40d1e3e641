#pragma once
// Another, ordinary user of the machine, for tests of what one user of a shared or served folder
// can do to the files of another. Only the superuser can act as another user: elsewhere there is
// none, and tests that need one skip.
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>

namespace kv::test {

// The other user's ids ("kvtest" when it exists and is not this process's user, else "nobody");
// nothing when this process is not the superuser.
struct CoUser {
    uid_t uid;
    gid_t gid;
};
std::optional<CoUser> co_user();

// Runs `action` in a child process that has become `who` (this process's user when nothing), and
// returns whether it returned true.
bool run_as(const std::optional<CoUser>& who, const std::function<bool()>& action);

// A child process that repeats `step` as `who` until stopped or until `longest` has passed (a
// bound, should the test stop early); for races against the code under test.
class Racer {
  public:
    Racer(const std::optional<CoUser>& who, std::function<void()> step,
          std::chrono::seconds longest = std::chrono::seconds(30));
    ~Racer();
    Racer(const Racer&) = delete;
    Racer& operator=(const Racer&) = delete;
    // Stops the child and returns how many steps it made.
    long stop();

  private:
    pid_t pid_ = -1;
    std::atomic<long>* count_ = nullptr;
};

// Lets every user read, write and enter a folder (as a shared folder is), and read and enter the
// folders above it up to the system's temporary folder.
void share_with_everyone(const std::filesystem::path& folder);

// Swaps two names with renameat2(RENAME_EXCHANGE); false when either is missing.
bool exchange(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace kv::test
