#pragma once
// What the table functions' tests share: a fresh current folder, the error handler's answer to
// another copy's hold (the network-error flag, as the program's handler gives it), the library's
// state put back at the end, a pause between tries that moves a manual clock and notes the
// pop-up on screen, and a second process of this test program that holds what it is told to.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "db/dbf_table.h"
#include "db/work_areas.h"
#include "platform/clock.h"
#include "tables/memvars.h"
#include "tables/table_wait.h"
#include "tests/support/temp_dir.h"
#include "tools/kvdev/child_process.h"
#include "util/error_record.h"
#include "util/settings.h"
#include "util/startup.h"
#include "util/status_popup.h"

namespace kv::test {

// Another copy's hold sets the network-error flag and fails quietly; anything else fails the test.
inline util::ErrorAnswer network_errors_only(const util::ErrorRecord& error) {
    if ((error.gencode == 21 && error.oscode == 32 && error.candefault) ||
        (error.gencode == 40 && error.candefault)) {
        util::NETERR(true);
        return std::nullopt;
    }
    ADD_FAILURE() << "error record " << error.gencode << " on " << error.filename << ": "
                  << error.description.value_or("");
    return std::nullopt;
}

// A table T.DBF of NAME C(10) and NOTES M with the given names (a name "*X" is deleted).
inline void make_table(const std::string& file, const std::vector<std::string>& names) {
    ASSERT_TRUE(db::Table::create(file, {{"NAME", 'C', 10, 0}, {"NOTES", 'M', 10, 0}}));
    auto table = db::Table::open(file);
    ASSERT_TRUE(table);
    for (const auto& name : names) {
        ASSERT_TRUE(table->append());
        const bool deleted = !name.empty() && name[0] == '*';
        table->put("NAME", name.substr(deleted ? 1 : 0));
        table->put("NOTES", "memo of " + name);
        table->mark_deleted(deleted);
        ASSERT_TRUE(table->commit());
    }
}

// The names of the records of a table that are not deleted, in natural order.
inline std::vector<std::string> live_names(const std::string& file) {
    auto table =
        db::Table::open(file, db::OpenOptions{.shared = true, .read_only = false, .alias = {}});
    std::vector<std::string> names;
    if (!table) return {"<cannot open>"};
    for (long r = 1; r <= table->record_count(); ++r) {
        table->go_to(r);
        if (table->deleted()) continue;
        auto name = std::get<std::string>(table->get("NAME"));
        name.erase(name.find_last_not_of(' ') + 1);
        const auto memo = std::get<std::string>(table->get("NOTES"));
        names.push_back(memo == "memo of " + name || memo == "memo of *" + name ? name
                                                                                : name + "?");
    }
    return names;
}

// True when a separate process can open the file in any way that the program's files allow.
inline bool another_process_can_open(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        platform::File f;
        const bool opened =
            f.open(path, platform::Access::Read, platform::Share::DenyNone,
                   platform::Disposition::OpenExisting, platform::NameCase::AsGiven);
        ::_exit(opened ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

class TablesTest : public ::testing::Test {
  protected:
    TablesTest() : in_work_(work_.path()), errors_(network_errors_only) {}
    ~TablesTest() override {
        db::work_areas().close_all();
        util::close_status_popup();
        util::library_state() = util::LibraryState{};
        util::settings() = saved_settings_;
    }

    // While the functions wait: each pause moves the clock, notes the pop-up text (once per
    // change) and lets the other process run; once a pop-up is up (the one in release_when_, when
    // set), the other process is told to let go.
    db::ScopedWaitPause observe_waits(
        std::chrono::milliseconds step = std::chrono::milliseconds(250)) {
        return db::ScopedWaitPause([this, step] {
            ++pauses_;
            clock_.advance(step);
            const auto text = util::CURMSG();
            if (popups_.empty() || popups_.back() != text.value_or("<none>")) {
                popups_.push_back(text.value_or("<none>"));
            }
            if (text && child_ && !released_ && (!release_when_ || text == release_when_))
                release();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
    }

    // Starts this test program again as a holder: it performs the action in the current folder,
    // prints "held" and lets go when the file RELEASE appears.
    void start_holder(const std::string& action) {
        std::filesystem::remove(work_.path() / "RELEASE");
        child_.emplace("/proc/self/exe",
                       std::vector<std::string>{"--gtest_filter=TablesHolder.Hold"}, work_.str(),
                       std::vector<std::string>{"KV_TABLES_HOLD=" + action});
        released_ = false;
        ASSERT_TRUE(child_->wait_for_line("held", std::chrono::seconds(60))) << child_->err();
    }
    void release() {
        released_ = true;
        std::ofstream(work_.path() / "RELEASE").put('x');
    }
    void end_holder() {
        if (!released_) release();
        EXPECT_EQ(child_->wait_exit(std::chrono::seconds(60)), 0) << child_->out() << child_->err();
        child_.reset();
    }

    TempDir work_;
    ScopedCurrentDir in_work_;
    util::ScopedErrorHandler errors_;
    util::RuntimeSettings saved_settings_ = util::settings();
    db::ScopedMemoryVariables variables_;
    platform::ManualClock clock_;
    platform::ScopedClock clock_in_use_{&clock_};
    std::vector<std::string> popups_;
    int pauses_ = 0;
    std::optional<dev::ChildProcess> child_;
    bool released_ = false;
    std::optional<std::string> release_when_;  // the pop-up text that lets the holder go
};

}  // namespace kv::test
