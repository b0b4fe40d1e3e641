// The handler installed in a real program: what a run-time error, an exception thrown by an event
// handler and a fatal signal leave on standard error, and the program's exit status.
#include <chrono>
#include <csignal>

#include <gtest/gtest.h>

#include "errors/errors.h"
#include "tests/errors/errors_test_support.h"
#include "tests/support/temp_dir.h"
#include "tools/kvdev/child_process.h"

namespace kv::errors {
namespace {

using namespace std::chrono_literals;

struct Outcome {
    std::optional<int> status;
    std::string err;
};

Outcome run_probe(const std::string& what) {
    test::TempDir dir;
    dev::ChildProcess probe(ERRORS_PROBE_BINARY, {what}, dir.str());
    Outcome outcome;
    outcome.status = probe.wait_exit(30s);
    outcome.err = probe.err();
    return outcome;
}

TEST(ErrorsInAProgram, AnUnknownErrorIsReportedOnStandardErrorAndEndsWithItsStatus) {
    const Outcome o = run_probe("error");
    EXPECT_EQ(o.status, kExitAfterError);
    EXPECT_NE(o.err.find("Attenzione: Error PROBE/???  a & b\n c\nFunction: "), std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("Applicazione: /"), std::string::npos) << o.err;
}

TEST(ErrorsInAProgram, AnExceptionFromAnEventHandlerIsReportedWithItsText) {
    const Outcome o = run_probe("exception");
    EXPECT_EQ(o.status, kExitAfterError);
    EXPECT_NE(o.err.find("Attenzione: Error std::out_of_range/???  probe exception\n"),
              std::string::npos)
        << o.err;
}

TEST(ErrorsInAProgram, AnExceptionIsReportedWhereItWasThrownNotWhereItWasCaught) {
    // The log sink throws; the core's log function called it from an event handler.
    const Outcome o = run_probe("core-exception");
    EXPECT_EQ(o.status, kExitAfterError);
    const int line = source_line("core/log.cpp", "log_sink(line);");
    ASSERT_GT(line, 0);
    EXPECT_NE(
        o.err.find("probe exception\nFunction: log_line  Line: " + std::to_string(line) + "\n"),
        std::string::npos)
        << o.err;
}

TEST(ErrorsInAProgram, AFatalSignalLeavesADiagnosticThenTakesItsDefaultAction) {
    const Outcome o = run_probe("segv");
    EXPECT_EQ(o.status, 128 + SIGSEGV);
    EXPECT_NE(o.err.find("fatal signal: Segmentation fault"), std::string::npos) << o.err;
    EXPECT_NE(o.err.find("  at "), std::string::npos) << o.err;
}

}  // namespace
}  // namespace kv::errors
