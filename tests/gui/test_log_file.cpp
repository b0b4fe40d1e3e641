// The --log file follows its name through log rotation and says once, in the window and on
// standard error, that it cannot be written; a line never runs on from a cut one.
#include <sys/resource.h>

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <csignal>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "gui/main_window.h"
#include "platform/clock.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"

namespace {

std::vector<std::string> lines_of(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line.substr(std::min<std::size_t>(20, line.size())));  // without the time
    return lines;
}

class LogFileTest : public kv::test::WindowTest {
  protected:
    void TearDown() override {
        kv::gui::set_log_file("");
        WindowTest::TearDown();
    }
    kv::test::TempDir dir;
    kv::platform::ManualClock clock;
    kv::platform::ScopedClock use_clock{&clock};
};

// logrotate's usual way: the file is moved away (then compressed or deleted) and the next line
// starts a new file under the name, found within a second.
TEST_F(LogFileTest, TheFileIsFollowedByItsNameWithinASecond) {
    const auto log = dir.path() / "kv32.log", rotated = dir.path() / "kv32.log.1";
    ASSERT_TRUE(kv::gui::set_log_file(log.string()));
    kv::gui::write_log_file("one");
    std::filesystem::rename(log, rotated);
    kv::gui::write_log_file("two");  // the name is not looked at again within the second
    clock.advance(kv::gui::kLogNameCheck);
    kv::gui::write_log_file("three");
    std::filesystem::remove(log);  // deleted: made again
    clock.advance(kv::gui::kLogNameCheck);
    kv::gui::write_log_file("four");
    EXPECT_EQ(lines_of(rotated), (std::vector<std::string>{"one", "two"}));
    EXPECT_EQ(lines_of(log), (std::vector<std::string>{"four"}));
}

// A file that stops taking lines (here the file-size limit, as a full disk would): the window
// says so once, standard error once, and the line after the cut one starts on its own line.
TEST_F(LogFileTest, AFileThatCannotBeWrittenIsSaidOnceAndNoLineRunsOn) {
    const auto log = dir.path() / "kv32.log";
    // An earlier run's lines, so that the limit leaves room for the captured standard error.
    dir.write("kv32.log", std::string(4000, '-') + "\n");
    ASSERT_TRUE(kv::gui::set_log_file(log.string()));
    auto window = kv::gui::create_main_window("KV32", 500, 500);
    QString shown;
    std::string said;
    window->set_start_handler([&] {
        auto& pane = window->log_pane();
        pane.append_line("first");
        rlimit before{};
        ::getrlimit(RLIMIT_FSIZE, &before);
        rlimit limit = before;
        limit.rlim_cur = std::filesystem::file_size(log) + 25;
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &limit);
        testing::internal::CaptureStderr();
        pane.append_line("a line far longer than the room left");
        pane.append_line("another that finds no room");
        said = testing::internal::GetCapturedStderr();
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, old_handler);
        pane.append_line("after");
        shown = window->widget()->findChild<QPlainTextEdit*>("log")->toPlainText();
        window->request_close();
    });
    window->activate(nullptr);
    EXPECT_EQ(shown.count("kv32.log"), 1) << shown.toStdString();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    EXPECT_EQ(
        said.rfind("kv32: cannot write the log file " + log.string() + " (File too large)", 0), 0u)
        << said;
    const auto lines = lines_of(log);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], "first");
    EXPECT_EQ(lines[2], "a lin");  // the 25 bytes that had room
    EXPECT_EQ(lines[3], "after");
}

}  // namespace
