// Another user of the served folder plants links and swaps folders: nothing outside the served
// folder is written, read or erased through them, also while the swaps race the commands.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>

#include <gtest/gtest.h>

#include "core/command_loop.h"
#include "core/handlers.h"
#include "core/log.h"
#include "core/receive_buffer.h"
#include "core/served_folder.h"
#include "core/stored_file.h"
#include "platform/beneath.h"
#include "tests/core/handler_fixture.h"
#include "tests/support/co_user.h"

namespace {

namespace core = kv::core;
namespace fsys = std::filesystem;
using kv::test::co_user;
using kv::test::CoUser;
using kv::test::save_args;
using namespace std::chrono_literals;

struct Answer {
    std::string sent;
    std::vector<std::string> log;
    bool accepted() const { return !sent.empty() && sent[0] == '\0'; }
};

// Sets whether links leading outside are followed when owned, for one test.
struct OutsideLinks {
    explicit OutsideLinks(bool followed) { kv::platform::set_outside_links(followed); }
    ~OutsideLinks() { kv::platform::set_outside_links(true); }
};

// The served folder SERVED (shared with everyone) beside OUT, which holds a stored file SECRET.
class CoUserLinks : public kv::test::HandlerFixture {
  protected:
    void SetUp() override {
        HandlerFixture::SetUp();
        fsys::create_directories(served() / "SUB");
        fsys::create_directories(out());
        dir.write("OUT/SECRET", secret_);
        kv::test::share_with_everyone(served());
        kv::test::share_with_everyone(served() / "SUB");
        ASSERT_TRUE(core::set_served_root(served().string()));
    }
    fsys::path served() const { return dir.path() / "SERVED"; }
    fsys::path out() const { return dir.path() / "OUT"; }
    // What OUT holds, names and contents.
    std::map<std::string, std::string> outside() const {
        std::map<std::string, std::string> held;
        for (const auto& e : fsys::directory_iterator(out()))
            held[e.path().filename().string()] = dir.read("OUT/" + e.path().filename().string());
        return held;
    }
    const std::map<std::string, std::string> untouched() const { return {{"SECRET", secret_}}; }

    Answer run(char letter, const std::string& args) {
        Answer a;
        core::ScopedLogSink sink([&a](const std::string& l) { a.log.push_back(l); });
        core::receive_buffer().clear();
        device_sends(args);
        core::find_command(letter)->handler(port);
        a.sent = pc_sent(1);
        // A catalogue ends with its 0x00 after the count line.
        for (int i = 0; letter == 'C' && i < 20 && (a.sent.size() < 200 || a.sent.back() != 0); ++i)
            a.sent += pc_sent(1);
        core::receive_buffer().clear();
        return a;
    }
    static std::string stored(const std::string& data) {
        return core::encode_header({3, 0, static_cast<std::uint16_t>(data.size()), 0}) + data;
    }

    const std::string secret_ = stored("secret");
};

// Plants links as `who` (this process's user when nothing).
void plant(const std::optional<CoUser>& who,
           const std::vector<std::pair<std::string, fsys::path>>& links) {
    ASSERT_TRUE(kv::test::run_as(who, [&links] {
        for (const auto& [target, at] : links)
            if (::symlink(target.c_str(), at.c_str()) != 0) return false;
        return true;
    }));
}

struct Planter {
    const char* who;
    std::optional<CoUser> user;
    bool outside_links;
};

std::vector<Planter> planters() {
    std::vector<Planter> all = {{"this user", std::nullopt, true},
                                {"this user, --no-outside-links", std::nullopt, false}};
    if (const auto other = co_user()) {
        all.push_back({"another user", other, true});
        all.push_back({"another user, --no-outside-links", other, false});
    }
    return all;
}

TEST_F(CoUserLinks, LinksLeadingOutsideAreFollowedOnlyWhenTheirOwnerRunsKv32) {
    const std::string catalogue_acks(40, '\x06');
    for (const Planter& p : planters()) {
        SCOPED_TRACE(p.who);
        OutsideLinks rule(p.outside_links);
        for (const char* name : {"LNK", "FLNK", "REL", "ABSIN", "UPIN", "NEW"})
            fsys::remove(served() / name);
        plant(p.user, {{out().string(), served() / "LNK"},
                       {(out() / "SECRET").string(), served() / "FLNK"},
                       {"SUB", served() / "REL"},
                       {(served() / "SUB").string(), served() / "ABSIN"},
                       {"../SERVED/SUB", served() / "UPIN"}});
        const bool followed = !p.user && p.outside_links;

        // Links that stay inside keep working, whoever placed them.
        for (const char* through : {"REL", "ABSIN"}) {
            EXPECT_TRUE(
                run('S', save_args(3, 0, 1, 0, std::string(through) + "/NEW") + "x").accepted())
                << through;
            EXPECT_TRUE(run('L', std::string(through) + "/NEW\r").accepted()) << through;
            EXPECT_TRUE(run('E', std::string(through) + "/NEW\r").accepted()) << through;
        }
        // Links that lead outside: every command through them.
        // One that passes above the served folder on its way counts as leading outside.
        EXPECT_EQ(run('S', save_args(3, 0, 1, 0, "UPIN/NEW") + "x").accepted(), followed);
        fsys::remove(served() / "SUB" / "NEW");
        EXPECT_EQ(run('L', "FLNK\r").accepted(), followed);
        EXPECT_EQ(run('L', "LNK/SECRET\r").accepted(), followed);
        EXPECT_EQ(run('C', "LNK/\r" + catalogue_acks).sent.find("SECRET") != std::string::npos,
                  followed);
        EXPECT_EQ(run('S', save_args(3, 0, 1, 0, "LNK/NEW") + "x").accepted(), followed);
        EXPECT_EQ(run('E', "LNK/NEW\r").accepted(), followed);
        if (!followed) {
            EXPECT_FALSE(run('E', "LNK/SECRET\r").accepted());
            EXPECT_FALSE(run('L', "lnk/sub/../SECRET\r").accepted());
            EXPECT_FALSE(core::enter_served_folder("LNK"));
            EXPECT_EQ(outside(), untouched());
        }
        EXPECT_TRUE(fsys::is_symlink(served() / "FLNK"));
    }
}

// The attacker for a race: another user; without one, this user with outside links refused.
struct Attacker {
    std::optional<CoUser> user = co_user();
    OutsideLinks rule{user.has_value()};
};

TEST_F(CoUserLinks, AFolderSwappedForALinkInALoopNeverTakesACommandOutside) {
    Attacker attacker;
    fsys::create_directory(served() / "DATA");
    kv::test::share_with_everyone(served() / "DATA");
    dir.write("SERVED/DATA/SECRET", stored("inside"));
    plant(attacker.user, {{out().string(), served() / "ALT"}});
    const fsys::path data = served() / "DATA", alt = served() / "ALT";
    kv::test::Racer racer(attacker.user, [&] { kv::test::exchange(data, alt); });
    const auto end = std::chrono::steady_clock::now() + 2s;
    int saved = 0;
    for (int i = 0; std::chrono::steady_clock::now() < end; ++i) {
        const std::string name = "DATA/F" + std::to_string(i);
        saved += run('S', save_args(3, 0, 1, 0, name) + "x").accepted();
        const Answer loaded = run('L', "DATA/SECRET\r");
        EXPECT_EQ(loaded.sent.find("secret"), std::string::npos);
        run('E', "DATA/SECRET\r");
        run('E', "DATA/*\r");
        ASSERT_EQ(outside(), untouched()) << "after " << i << " rounds";
        if (!fsys::exists(served() / "DATA" / "SECRET") && !fsys::exists(out() / "SECRET")) break;
    }
    EXPECT_GT(racer.stop(), 10);
    EXPECT_GT(saved, 0);
}

TEST_F(CoUserLinks, EraseRemovesOnlyTheStoredFileItCheckedWhileNamesAreSwapped) {
    Attacker attacker;
    const fsys::path prog = served() / "PROG", plain = served() / "PLAIN";
    dir.write("SERVED/PLAIN", "a plain file that is never erased");
    dir.write("SERVED/PROG", stored("p"));
    // Held open, the plain file tells whether a name still leads to it, wherever it is moved.
    const int plain_fd = ::open(plain.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(plain_fd, 0);
    kv::test::Racer racer(attacker.user, [&] { kv::test::exchange(prog, plain); });
    const auto end = std::chrono::steady_clock::now() + 2s;
    int erased = 0;
    while (std::chrono::steady_clock::now() < end) {
        erased += run('E', "PROG\r").accepted();
        struct stat st;
        ASSERT_EQ(::fstat(plain_fd, &st), 0);
        ASSERT_EQ(st.st_nlink, 1u) << "the plain file was erased after " << erased;
        // A new stored file under whichever name is free.
        for (const auto& name : {prog, plain}) {
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0666);
            if (fd < 0) continue;
            const std::string bytes = stored("p");
            EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
            ::close(fd);
        }
    }
    EXPECT_GT(racer.stop(), 10);
    EXPECT_GT(erased, 0);
    ::close(plain_fd);
}

TEST_F(CoUserLinks, ANameTakenDuringASaveKeepsWhatTookIt) {
    const auto who = co_user();
    struct Case {
        const char* what;
        std::function<void(const fsys::path&)> take;
    };
    const std::vector<Case> cases = {
        {"a link to a file outside",
         [&](const fsys::path& at) {
             plant(who, {{(out() / "SECRET").string(), at}});
         }},
        {"another user's file",
         [&](const fsys::path& at) {
             ASSERT_TRUE(kv::test::run_as(who, [&at] {
                 const int fd = ::open(at.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
                 return fd >= 0 && ::write(fd, "theirs", 6) == 6 && ::close(fd) == 0;
             }));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fsys::path taken = served() / "TAKEN";
        fsys::remove(taken);
        link.at(link.elapsed() + 1s, [&] { c.take(taken); });
        link.arrive(link.elapsed() + 2s, "xyz");
        const Answer a = run('S', save_args(3, 0, 3, 0, "TAKEN"));
        EXPECT_TRUE(a.accepted());
        EXPECT_EQ(outside(), untouched());
        if (fsys::is_symlink(taken))
            EXPECT_EQ(fsys::read_symlink(taken), out() / "SECRET");
        else
            EXPECT_EQ(dir.read("SERVED/TAKEN"), "theirs");
        bool told = false;
        for (const auto& line : a.log) told |= line.find("took the name") != std::string::npos;
        EXPECT_TRUE(told);
        for (const auto& e : fsys::directory_iterator(served()))
            EXPECT_EQ(e.path().filename().string().find("KV"), std::string::npos)
                << "a temporary file was left";
    }
}

}  // namespace
