#include "tests/support/co_user.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <new>

namespace kv::test {
namespace {

void become(const std::optional<CoUser>& who) {
    if (!who) return;
    if (::setgroups(0, nullptr) != 0 || ::setgid(who->gid) != 0 || ::setuid(who->uid) != 0)
        ::_exit(99);
}

}  // namespace

std::optional<CoUser> co_user() {
    if (::geteuid() != 0) return std::nullopt;
    for (const char* name : {"kvtest", "nobody"}) {
        if (const passwd* pw = ::getpwnam(name); pw != nullptr && pw->pw_uid != 0)
            return CoUser{pw->pw_uid, pw->pw_gid};
    }
    return std::nullopt;
}

bool run_as(const std::optional<CoUser>& who, const std::function<bool()>& action) {
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        become(who);
        ::_exit(action() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

Racer::Racer(const std::optional<CoUser>& who, std::function<void()> step,
             std::chrono::seconds longest) {
    // The count of steps lives in a shared page, so the test can see that the race ran.
    void* page =
        ::mmap(nullptr, sizeof(long), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    auto* count = new (page) std::atomic<long>(0);
    pid_ = ::fork();
    if (pid_ == 0) {
        become(who);
        const auto end = std::chrono::steady_clock::now() + longest;
        while (std::chrono::steady_clock::now() < end) {
            step();
            count->fetch_add(1, std::memory_order_relaxed);
        }
        ::_exit(0);
    }
    count_ = count;
}

Racer::~Racer() {
    stop();
    if (count_ != nullptr) ::munmap(count_, sizeof(long));
}

long Racer::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    return count_ != nullptr ? count_->load() : 0;
}

void share_with_everyone(const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    fs::permissions(folder, fs::perms::all);
    const fs::path temp = fs::temp_directory_path();
    for (fs::path above = folder.parent_path();
         !above.empty() && above != temp && above != above.root_path(); above = above.parent_path())
        fs::permissions(above,
                        fs::perms::others_read | fs::perms::others_exec | fs::perms::group_read |
                            fs::perms::group_exec,
                        fs::perm_options::add);
}

bool exchange(const std::filesystem::path& a, const std::filesystem::path& b) {
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

}  // namespace kv::test
