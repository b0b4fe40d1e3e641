// How much of the log a log pane keeps: a program that logs for months must not grow with it.
#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

#include "gui/main_window.h"
#include "tests/support/window_test.h"

namespace {

using kv::gui::kLogPaneLines;

class LogPaneLines : public kv::test::WindowTest {};

std::size_t count_lines(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string::npos;
         at = text.find("\r\n", at + 2))
        ++n;
    return n;
}

TEST_F(LogPaneLines, TheWindowKeepsItsLastLinesAndHeadlessKeepsNone) {
    auto window = kv::gui::create_main_window("x", 500, 500);
    EXPECT_EQ(window->log_pane().line_limit(), kLogPaneLines);
    constexpr std::size_t kLimit = 40;  // the default's 10,000 lines take long to paint
    window->log_pane().set_line_limit(kLimit);
    window->set_start_handler([&] {
        auto& pane = window->log_pane();
        for (std::size_t i = 0; i < kLimit + 5; ++i) pane.append_line("line " + std::to_string(i));
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(static_cast<std::size_t>(
                      dialog->findChild<QPlainTextEdit*>("log")->document()->blockCount()),
                  kLimit);
        window->request_close();
    });
    window->activate(nullptr);
    const std::string& text = window->log_pane().text();
    EXPECT_EQ(count_lines(text), kLimit);
    EXPECT_EQ(text.rfind("line 5\r\n", 0), 0u);

    kv::gui::ScopedHeadless headless(true);
    auto quiet = kv::gui::create_main_window("x", 500, 500);
    for (int i = 0; i < 3; ++i) quiet->log_pane().append_line("to standard output only");
    EXPECT_EQ(quiet->log_pane().text(), "");
}

}  // namespace
