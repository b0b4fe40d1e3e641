// Start-up and shut-down procedures: run-time settings, login variables, the clean-up of
// temporary leftovers, and the order in which a program run calls them.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "tests/support/temp_dir.h"
#include "tests/util/test_paths_boxes.h"
#include "util/dates.h"
#include "util/settings.h"
#include "util/startup.h"

namespace kv::util {
namespace {

namespace fs = std::filesystem;

const std::string kMark(1, '\x7f');

// Runs each test in a fresh current folder, with TEMP pointing at a fresh folder of its own and
// the library's settings and state as they are before start-up.
class StartupTest : public ::testing::Test {
  protected:
    StartupTest() : in_work_(work_.path()) {
        if (const char* old = std::getenv("TEMP")) saved_temp_ = old;
        ::setenv("TEMP", temp_.str().c_str(), 1);
    }
    ~StartupTest() override {
        EXPECT_TRUE(boxes_shown_.empty()) << "start-up and shut-down report nothing";
        if (saved_temp_)
            ::setenv("TEMP", saved_temp_->c_str(), 1);
        else
            ::unsetenv("TEMP");
        settings() = RuntimeSettings{};
        set_file_case(settings().file_case);
        library_state() = LibraryState{};
        set_table_closer({});
        set_error_handler_installer({});
    }

    bool in_work(const std::string& name) const { return fs::exists(work_.path() / name); }
    bool in_temp(const std::string& name) const { return fs::exists(temp_.path() / name); }

    test::TempDir work_;
    test::TempDir temp_;
    test::ScopedCurrentDir in_work_;
    std::optional<std::string> saved_temp_;
    std::vector<std::string> boxes_shown_;
    test::BoxRecorder boxes_{boxes_shown_};
};

TEST_F(StartupTest, InitEstablishesEverySetting) {
    INIT_();
    const RuntimeSettings& s = settings();
    EXPECT_EQ(s.table_format, "DBFCDX");
    EXPECT_EQ(s.memo_layout, 2);
    EXPECT_EQ(s.memo_extension, ".DBT");
    EXPECT_EQ(s.lock_scheme, 2);
    EXPECT_FALSE(s.auto_share);
    EXPECT_TRUE(s.hide_deleted);
    EXPECT_EQ(s.date_format, "dd/mm/yy");
    EXPECT_EQ(s.epoch, 1980);
    EXPECT_EQ(s.file_case, "UPPER");
    EXPECT_EQ(s.print_margin, 5);
}

TEST_F(StartupTest, DatesAfterStartUp) {
    INIT_();
    EXPECT_EQ(date_text(Date::of(2026, 12, 6)), "06/12/26");
    EXPECT_EQ(date_text(Date()), "        ");
    EXPECT_EQ(empty_date_mask(), "  /  /  ");
    EXPECT_EQ(date_from_text("01/02/79"), Date::of(2079, 2, 1));
    EXPECT_EQ(date_from_text("01/02/80"), Date::of(1980, 2, 1));
}

TEST_F(StartupTest, CenturyDisplayChoosesFourDigitYears) {
    settings().century = true;
    INIT_();
    EXPECT_EQ(settings().date_format, "dd/mm/yyyy");
    EXPECT_EQ(date_text(Date::of(2026, 12, 6)), "06/12/2026");
}

TEST_F(StartupTest, CreatedFilesGetUpperCaseNames) {
    INIT_();
    platform::File file;
    ASSERT_TRUE(file.open("prog1.txt", platform::Access::Write, platform::Share::DenyNone,
                          platform::Disposition::CreateAlways, platform::NameCase::Setting));
    file.close();
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(work_.path())) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"PROG1.TXT"});
}

TEST_F(StartupTest, InitCreatesTheLoginVariables) {
    ACS_USER = "someone";
    ACS_TEMP = "/x/";
    ACS_LEVEL = 9;
    INIT_();
    EXPECT_EQ(ACS_USER, "USER");
    EXPECT_EQ(ACS_TEMP, "");
    EXPECT_EQ(ACS_PASSWD, "");
    EXPECT_EQ(ACS_LEVEL, 1);
}

TEST_F(StartupTest, InitErasesOnlyKv32sOwnLeftoversOfTheCurrentFolder) {
    // A process that has ended: its id is free (or, rarely, taken again, which keeps the files).
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    const std::string gone = std::to_string(ended);
    const std::string running = std::to_string(::getppid());  // this test's parent runs
    const std::string self = std::to_string(::getpid());      // nothing of its own yet
    struct Case {
        std::string name;
        bool removed;
    };
    const std::vector<Case> cases = {
        {kMark + "KV" + gone + "_3.TMP", true},  // a whole-file write cut short
        {kMark + "KV" + running + "_3.TMP", false},
        {kMark + "KV" + self + "_0.tmp", true},
        {kMark + gone + "-1-2.WMF", true},  // a page of a print job
        {kMark + running + "-1-2.WMF", false},
        {kMark + "20261206123456", true},  // a temporary name, held by nobody
        {kMark + "VIEW202612061234.NTX", true},
        {kMark + "OLD.DBF", false},  // the device's own files, whatever they begin with
        {kMark + "PAGE1.WMF", false},
        {kMark + "KVX_1.TMP", false},
        {kMark + "1-2.WMF", false},
        {kMark + "2026", false},
        {"OLD.DBF", false},
    };
    for (const auto& c : cases) work_.write(c.name, "x");
    // A temporary file that a running KV32 holds open stays.
    const std::string held = kMark + "20261206765432";
    work_.write(held, "x");
    platform::File holder;
    ASSERT_TRUE(holder.open(held, platform::Access::Read, platform::Share::DenyWrite,
                            platform::Disposition::OpenExisting));
    fs::create_directory(work_.path() / (kMark + "20261206999"));
    INIT_();
    for (const auto& c : cases) EXPECT_EQ(in_work(c.name), !c.removed) << c.name.substr(1);
    EXPECT_TRUE(in_work(held));
    EXPECT_TRUE(in_work(kMark + "20261206999"));  // folders are not touched here
}

TEST_F(StartupTest, InitRemovesKv32sTemporaryFoldersUnderTemp) {
    temp_.write(kMark + "20261206123/USER", "");
    temp_.write(kMark + "20261206123/.hidden", "");
    temp_.write(kMark + "A/USER", "");  // not a name KV32 makes
    temp_.write(kMark + "20261206124", "plain file");
    temp_.write(kMark + "20261206125/SUB/X", "");
    temp_.write("KEEP/X", "");
    // A link under a name KV32 makes, planted by anyone who may write in the temporary folder,
    // leads nowhere: what it points at is left alone.
    temp_.write("ELSEWHERE/PRECIOUS", "keep");
    fs::create_directory_symlink(temp_.path() / "ELSEWHERE",
                                 temp_.path() / (kMark + "20261206126"));
    INIT_();
    EXPECT_TRUE(in_temp("ELSEWHERE/PRECIOUS"));
    EXPECT_FALSE(in_temp(kMark + "20261206123"));
    EXPECT_TRUE(in_temp(kMark + "A/USER"));
    EXPECT_TRUE(in_temp(kMark + "20261206124"));        // neither emptied nor removed as a folder
    EXPECT_TRUE(in_temp(kMark + "20261206125/SUB/X"));  // a folder holding a folder stays
    EXPECT_TRUE(in_temp("KEEP/X"));
}

TEST_F(StartupTest, ShutDownWithNobodyLoggedIn) {
    int tables_closed = 0;
    set_table_closer([&] { ++tables_closed; });
    INIT_();
    work_.write(kMark + "VIEW12.NTX", "");
    work_.write("VIEW12.NTX", "");
    work_.write(kMark + "VIEW12.CDX", "");
    work_.write("USER.USR", "");
    EXIT_();
    EXPECT_EQ(tables_closed, 1);
    EXPECT_FALSE(in_work(kMark + "VIEW12.NTX"));
    EXPECT_TRUE(in_work("VIEW12.NTX"));
    EXPECT_TRUE(in_work(kMark + "VIEW12.CDX"));
    EXPECT_TRUE(in_work("USER.USR"));
}

TEST_F(StartupTest, ShutDownAfterLoginRemovesTheLoginFolder) {
    const std::string id = kMark + "20261206123";
    const fs::path folder = temp_.path() / id;
    INIT_();  // before the login: it would clear the login folder away
    temp_.write(id + "/USER", "");
    temp_.write(id + "/" + kMark + "VIEW1.NTX", "");
    temp_.write(id + "/" + kMark + "PAGE1.WMF", "");
    work_.write(kMark + "VIEW1.NTX", "");
    LibraryState& state = library_state();
    state.login_user = id;
    state.login_folder = folder.string() + "/";
    ASSERT_TRUE(state.login_lock.open(folder.string() + "/USER", platform::Access::ReadWrite,
                                      platform::Share::DenyAll,
                                      platform::Disposition::OpenExisting));
    EXIT_();
    EXPECT_FALSE(state.login_lock.is_open());
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(in_work(kMark + "VIEW1.NTX"));  // views of a login live in its folder
}

TEST_F(StartupTest, ALoginWithoutFolderLeavesTheCurrentFolderAlone) {
    work_.write("DATA.DBF", "");
    library_state().login_user = "ROSSI";
    EXIT_();
    EXPECT_TRUE(in_work("DATA.DBF"));
}

TEST_F(StartupTest, CloseAllErasesViewIndexesOfTheLoginFolder) {
    const fs::path folder = temp_.path() / "LOGIN";
    temp_.write("LOGIN/" + kMark + "VIEW3.NTX", "");
    temp_.write("LOGIN/OTHER", "");
    library_state().login_folder = folder.string() + "/";
    CLOSEALL();
    EXPECT_FALSE(fs::exists(folder / (kMark + "VIEW3.NTX")));
    EXPECT_TRUE(fs::exists(folder / "OTHER"));
}

class RunProgramTest : public StartupTest {
  protected:
    RunProgramTest() {
        set_error_handler_installer([this] { calls.push_back("handler"); });
        set_table_closer([this] { calls.push_back("exit"); });
    }
    std::vector<std::string> calls;
};

TEST_F(RunProgramTest, HandlerInitMainExitInOrder) {
    const int code = run_program([this] {
        calls.push_back(settings().file_case == "UPPER" ? "main after init" : "main before init");
        return 3;
    });
    EXPECT_EQ(code, 3);
    EXPECT_EQ(calls, (std::vector<std::string>{"handler", "main after init", "exit"}));
}

TEST_F(RunProgramTest, ExitRunsWhenTheStartProcedureThrows) {
    EXPECT_THROW(run_program([]() -> int { throw std::runtime_error("boom"); }),
                 std::runtime_error);
    EXPECT_EQ(calls, (std::vector<std::string>{"handler", "exit"}));
}

TEST_F(RunProgramTest, QuitEndsTheRunWithItsCode) {
    EXPECT_EQ(run_program([]() -> int { throw QuitProgram{7}; }), 7);
    EXPECT_EQ(calls, (std::vector<std::string>{"handler", "exit"}));
}

TEST_F(RunProgramTest, AnEmptyHandlerSlotIsSkipped) {
    set_error_handler_installer({});
    EXPECT_EQ(run_program([] { return 0; }), 0);
    EXPECT_EQ(calls, std::vector<std::string>{"exit"});
}

}  // namespace
}  // namespace kv::util
