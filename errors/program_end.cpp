#include "errors/program_end.h"

#include <QDesktopServices>
#include <QUrl>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "errors/errors.h"
#include "gui/text.h"
#include "util/startup.h"

namespace kv::errors {
namespace {

void desktop_open(const std::string& address) {
    QDesktopServices::openUrl(QUrl(gui::from_ansi(address), QUrl::TolerantMode));
}

// The shut-down runs once, even when it raises an error itself; then the process ends at once:
// the stack below the error (nested event loops, a port's reader thread) is not unwound.
void shut_down_and_exit(int exit_status) {
    static bool ending = false;
    if (!ending) {
        ending = true;
        try {
            util::EXIT_();
        } catch (...) {
        }
    }
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(exit_status);
}

}  // namespace

UrlOpener& detail::url_opener_slot() {
    static UrlOpener opener = desktop_open;
    return opener;
}

ProgramEnd& detail::program_end_slot() {
    static ProgramEnd end = shut_down_and_exit;
    return end;
}

void open_url(const std::string& address) {
    detail::url_opener_slot()(address);
}

void end_program(int exit_status) {
    detail::program_end_slot()(exit_status);
    std::abort();  // an end that returned broke its contract
}

}  // namespace kv::errors
