// The handler's rules through real boxes answered by the test, a recorded URL opener and an end of
// the program that unwinds back to the test.
#include <QAbstractButton>
#include <QMessageBox>

#include <gtest/gtest.h>

#include "core/log.h"
#include "core/serial.h"
#include "errors/diagnostic.h"
#include "errors/errors.h"
#include "gui/window.h"
#include "tests/errors/errors_test_support.h"
#include "tests/support/window_test.h"
#include "util/abandon.h"
#include "util/system_unlock.h"

namespace kv::errors {
namespace {

using util::ErrorRecord;

struct Ended {
    int status;
};

struct Box {
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
};

class DeferrorTest : public test::WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        util::NETERR(false);
    }
    void TearDown() override {
        util::NETERR(false);
        WindowTest::TearDown();
    }
    // The button the boxes are answered with from now on.
    void answer(QMessageBox::StandardButton button) { press = button; }
    // Runs DEFERROR to its end: the status the program ended with, or nothing when it returned
    // or abandoned.
    std::optional<int> run(const ErrorRecord& error) {
        return run_code([&] { DEFERROR(error); });
    }
    std::optional<int> run_code(const std::function<void()>& code) {
        try {
            code();
        } catch (const Ended& ended) {
            return ended.status;
        } catch (const util::Abandon&) {
            ++abandoned;
        }
        return std::nullopt;
    }

    std::vector<Box> boxes;
    QMessageBox::StandardButton press = QMessageBox::Ok;
    gui::ScopedBoxAnswerer answerer{[this](QMessageBox& box, const gui::BoxRequest&) {
        boxes.push_back({box.text(), box.icon(), box.windowTitle()});
        box.button(press)->click();
    }};
    std::vector<std::string> opened;
    int unlocked = 0;
    int abandoned = 0;
    util::ScopedSystemUnlocker unlocker{[this] { ++unlocked; }};
    ScopedUrlOpener opener{[this](const std::string& address) { opened.push_back(address); }};
    ScopedProgramEnd end{[](int status) { throw Ended{status}; }};
    util::ScopedErrorHandler handler{DEFERROR};
};

ErrorRecord record(int oscode, int gencode = 21, std::optional<long> subcode = std::nullopt,
                   const std::string& file = "c:\\data\\x.dbf") {
    ErrorRecord e;
    e.oscode = oscode;
    e.gencode = gencode;
    e.subcode = subcode;
    e.filename = file;
    e.candefault = true;
    return e;
}

TEST_F(DeferrorTest, DiskAndFileFailuresAreExplainedAndAbandonTheOperation) {
    const struct {
        ErrorRecord error;
        QString text;
    } cases[] = {
        {record(21), "Disco C:\\DATA\\X.DBF non pronto."},
        {record(27), "Disco C:\\DATA\\X.DBF non formattato."},
        {record(31), "Disco C:\\DATA\\X.DBF non formattato."},
        {record(19), "Disco C:\\DATA\\X.DBF protetto da scrittura."},
        {record(82, 21, 2016), "Directory C:\\DATA\\X.DBF piena."},  // rule 4 before rule 5
        {record(0, 21, 2016), "Spazio sul disco C:\\DATA\\X.DBF insufficiente."},
        {record(5), "Impossibile accedere al file C:\\DATA\\X.DBF."},
        {record(3), "Percorso C:\\DATA\\X.DBF non trovato."},
        {record(2), "Impossibile aprire il file C:\\DATA\\X.DBF."},
        {record(0, 21, 1012), "Il file C:\\DATA\\X.DBF risulta corrotto."},
        {record(0, 32), "Il file C:\\DATA\\X.DBF risulta corrotto."},
        {record(21, 21, std::nullopt, ""), "Disco  non pronto."},  // empty X: two blanks
    };
    for (const auto& c : cases) {
        boxes.clear();
        EXPECT_EQ(run(c.error), std::nullopt);
        ASSERT_EQ(boxes.size(), 1u) << c.text.toStdString();
        EXPECT_EQ(boxes[0].text, c.text);
        EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
        EXPECT_EQ(boxes[0].title, "Attenzione");
    }
    EXPECT_EQ(abandoned, static_cast<int>(std::size(cases)));
    EXPECT_EQ(unlocked, static_cast<int>(std::size(cases)));
    EXPECT_FALSE(util::NETERR());  // OSCODE 5 with GENCODE 21 is never absorbed
}

TEST_F(DeferrorTest, AutomationExceptionsShowTheDiagnosticAndAbandon) {
    ErrorRecord e;
    e.gencode = 1001;
    e.subcode = -1;
    e.subsystem = "Excel.Application";
    e.description = "Metodo non riuscito";
    EXPECT_EQ(run(e), std::nullopt);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(
        boxes[0].text.startsWith("Error Excel.Application/-1  Metodo non riuscito\r\nFunction: "))
        << boxes[0].text.toStdString();
    EXPECT_EQ(abandoned, 1);
}

TEST_F(DeferrorTest, QuietRulesAnswerWithoutABox) {
    ErrorRecord division;
    division.gencode = 5;
    EXPECT_EQ(DEFERROR(division), 0.0);
    EXPECT_FALSE(util::NETERR());

    EXPECT_EQ(DEFERROR(record(32, 21)), std::nullopt);  // shared open refused
    EXPECT_TRUE(util::NETERR());
    util::NETERR(false);
    EXPECT_EQ(DEFERROR(record(0, 40)), std::nullopt);  // append lock refused
    EXPECT_TRUE(util::NETERR());
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(unlocked, 0);

    // Without a quiet failure allowed, the same errors are reported and end the program.
    util::NETERR(false);
    for (auto e : {record(32, 21), record(0, 40)}) {
        e.candefault = false;
        answer(QMessageBox::Cancel);
        EXPECT_EQ(run(e), kExitAfterError);
    }
    EXPECT_FALSE(util::NETERR());
}

TEST_F(DeferrorTest, ReportAsksAndMailsTheDiagnosticBuiltExactly) {
    ErrorRecord e;
    e.subsystem = "BASE";
    e.subcode = 1081;
    e.description = "A & B; C";
    e.operation = "+";
    EXPECT_EQ(run(e), kExitAfterError);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Question);
    const QStringList lines = boxes[0].text.split("\r\n");
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], "Error BASE/1081  A & B");
    EXPECT_EQ(lines[1], " C: +");
    EXPECT_TRUE(lines[2].startsWith("Function: "));
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "Inviare rapporto di errore via email?");
    ASSERT_EQ(opened.size(), 1u);
    const std::string expected_start =
        "mailto:?subject=Rapporto di errore&body=Applicazione: " + program_path() + "%0d%0a%0d%0a" +
        "Error BASE/1081  A %26 B%0d%0a C: +%0d%0aFunction: ";
    EXPECT_EQ(opened[0].substr(0, expected_start.size()), expected_start);
    EXPECT_EQ(unlocked, 1);
}

TEST_F(DeferrorTest, CancelEndsTheProgramWithoutMail) {
    answer(QMessageBox::Cancel);
    EXPECT_EQ(run(ErrorRecord{}), kExitAfterError);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(opened.empty());
}

TEST_F(DeferrorTest, HeadlessReportGoesToStandardErrorWithoutQuestionOrMail) {
    std::optional<int> status;
    std::string err;
    {
        gui::ScopedHeadless headless(true);
        testing::internal::CaptureStderr();
        status = run(ErrorRecord{});
        err = testing::internal::GetCapturedStderr();
    }
    EXPECT_EQ(status, kExitAfterError);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(opened.empty());
    EXPECT_NE(err.find("Attenzione: Error ??\?/??\?\nFunction: "), std::string::npos) << err;
    EXPECT_NE(err.find("Applicazione: " + program_path()), std::string::npos) << err;
}

TEST_F(DeferrorTest, TheReportNamesTheNearestCoreFunctionAndItsLine) {
    // The error is raised in util/ (the handler slot), called from the core's log function.
    {
        core::ScopedLogSink sink([](const std::string&) { util::raise_error(ErrorRecord{}); });
        answer(QMessageBox::Cancel);
        EXPECT_EQ(run_code([] { core::log_line("x"); }), kExitAfterError);
    }
    const int line = source_line("core/log.cpp", "log_sink(line);");
    ASSERT_GT(line, 0);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(
        QString::fromStdString("\r\nFunction: log_line  Line: " + std::to_string(line) + "\r\n")))
        << boxes[0].text.toStdString();
}

TEST_F(DeferrorTest, AnAbandonDuringThePortOpeningMakesItReportMinusOne) {
    gui::Window window;
    int opened_ports = 0;
    // Opening a pseudo-terminal logs its path: the log raises a disk failure there.
    {
        core::ScopedLogSink sink([&](const std::string&) {
            ++opened_ports;
            util::raise_error(record(21, 21, std::nullopt, ""));
        });
        EXPECT_EQ(core::APRICOM(window, "PTY"), -1);
    }
    EXPECT_EQ(opened_ports, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Disco  non pronto.");
}

TEST(ShownFunctionName, ProjectNamespacesAndParametersAreLeftOut) {
    const std::pair<std::string, std::string> cases[] = {
        {"kv::core::SAVE(int)", "SAVE"},
        {"kv::core::MAIN(kv::core::StartOptions const&)::{lambda()#2}::operator()() const", "MAIN"},
        {"kv::gui::(anonymous namespace)::WidgetMainWindow::activate(std::function<void ()>)",
         "WidgetMainWindow::activate"},
        {"kv::server::Registry<std::pair<int, int> >::find(std::string const&)",
         "Registry<std::pair<int, int> >::find"},
        {"main", "main"},
        // A lambda called through std::function and inlined into its caller there.
        {"std::_Function_handler<bool (), kv::server::(anonymous namespace)::filter_of("
         "std::__cxx11::basic_string<char, std::char_traits<char>, std::allocator<char> > const&, "
         "kv::db::Table&, std::__cxx11::basic_string<char, std::char_traits<char>, "
         "std::allocator<char> > const&)::{lambda()#2}>::_M_invoke(std::_Any_data const&)",
         "filter_of"},
        {"void std::__invoke_impl<void, kv::gui::Window::post(int) const::{lambda()#1}&>("
         "std::__invoke_other, kv::gui::Window::post(int) const::{lambda()#1}&)",
         "Window::post"},
    };
    for (const auto& [symbol, shown] : cases) EXPECT_EQ(shown_function_name(symbol), shown);
}

TEST(ApplicationSource, OnlyTheCoreTheWindowLayerAndTheServerCount) {
    const std::string root = KV32_SOURCE_DIR;
    EXPECT_TRUE(application_source(root + "/core/save.cpp"));
    EXPECT_TRUE(application_source(root + "/build/../gui/window.cpp"));
    EXPECT_TRUE(application_source(root + "/server/servergo.cpp"));
    for (const char* library : {"errors", "util", "fs", "db", "platform", "tests"})
        EXPECT_FALSE(application_source(root + "/" + library + "/x.cpp")) << library;
    EXPECT_FALSE(application_source("/usr/include/c++/12/bits/std_function.h"));
}

TEST(Diagnostic, IsComposedFieldByField) {
    ErrorRecord base;
    base.severity = 2;
    base.subsystem = "BASE";
    base.subcode = 1081;
    base.description = "Argument error";
    base.operation = "+";
    EXPECT_EQ(compose_diagnostic(base, {"SAVE", 210}),
              "Error BASE/1081  Argument error: +;Function: SAVE  Line: 210");

    ErrorRecord warning;
    warning.severity = 1;
    EXPECT_EQ(compose_diagnostic(warning, {}), "Warning ??\?/??\?;Function:   Line: 0");

    ErrorRecord named = base;
    named.filename = "c:\\x.dbf";
    named.subcode = -3;
    named.description.reset();
    EXPECT_EQ(compose_diagnostic(named, {"KV", 7}),
              "Error BASE/-3: c:\\x.dbf;Function: KV  Line: 7");
    named.filename.clear();
    named.operation.clear();
    EXPECT_EQ(compose_diagnostic(named, {"KV", 7}), "Error BASE/-3;Function: KV  Line: 7");
}

}  // namespace
}  // namespace kv::errors
