// A program with the run-time error handler installed as kv32 installs it, which fails on demand:
// `error` raises an error no rule knows, `exception` throws from an event handler,
// `core-exception` throws from the core's log function that an event handler called, `segv` dies
// of a fatal signal. Run headless by the error handler's tests.
#include <QCoreApplication>
#include <QTimer>
#include <csignal>
#include <stdexcept>
#include <string>

#include "core/log.h"
#include "errors/errors.h"
#include "gui/run_mode.h"
#include "util/startup.h"

int main(int argc, char** argv) {
    const std::string what = argc > 1 ? argv[1] : "";
    auto app = kv::gui::create_application(argc, argv, true);
    kv::util::set_error_handler_installer(kv::errors::ERRORSYS);
    return kv::util::run_program([&] {
        if (what == "error") {
            kv::util::ErrorRecord error;
            error.gencode = 9;
            error.subsystem = "PROBE";
            error.description = "a & b; c";
            kv::util::raise_error(error);
        } else if (what == "exception") {
            QTimer::singleShot(0, [] { throw std::out_of_range("probe exception"); });
            QTimer::singleShot(10000, [] { QCoreApplication::exit(0); });
            return QCoreApplication::exec();
        } else if (what == "core-exception") {
            const kv::core::ScopedLogSink sink(
                [](const std::string&) { throw std::out_of_range("probe exception"); });
            QTimer::singleShot(0, [] { kv::core::log_line("x"); });
            QTimer::singleShot(10000, [] { QCoreApplication::exit(0); });
            return QCoreApplication::exec();
        } else if (what == "segv") {
            std::raise(SIGSEGV);
        }
        return 0;
    });
}
