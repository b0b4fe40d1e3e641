// Start-up and shut-down procedures: run-time settings, login variables, the clean-up of
// temporary leftovers, and the order in which a program run calls them.
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

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

TEST_F(StartupTest, InitErasesTemporaryFilesOfTheCurrentFolderOnly) {
    work_.write(kMark + "OLD.DBF", "x");
    work_.write("OLD.DBF", "x");
    work_.write(kMark + "PAGE1.WMF", "x");
    fs::create_directory(work_.path() / (kMark + "DIR"));
    INIT_();
    EXPECT_FALSE(in_work(kMark + "OLD.DBF"));
    EXPECT_FALSE(in_work(kMark + "PAGE1.WMF"));
    EXPECT_TRUE(in_work("OLD.DBF"));
    EXPECT_TRUE(in_work(kMark + "DIR"));  // folders are not touched here
}

TEST_F(StartupTest, InitRemovesTemporaryFoldersUnderTemp) {
    temp_.write(kMark + "A/USER", "");
    temp_.write(kMark + "A/.hidden", "");
    temp_.write(kMark + "FILE", "plain file");
    temp_.write(kMark + "B/SUB/X", "");
    temp_.write("KEEP/X", "");
    INIT_();
    EXPECT_FALSE(in_temp(kMark + "A"));
    EXPECT_TRUE(in_temp(kMark + "FILE"));     // neither emptied nor removed as a folder
    EXPECT_TRUE(in_temp(kMark + "B/SUB/X"));  // a folder holding a folder stays
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
