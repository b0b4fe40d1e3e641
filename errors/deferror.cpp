// DEFERROR: the rules, tested in order; the first that matches decides.
#include <cstdio>
#include <string>

#include "errors/diagnostic.h"
#include "errors/errors.h"
#include "errors/program_end.h"
#include "gui/run_mode.h"
#include "util/abandon.h"
#include "util/msgbox.h"
#include "util/system_unlock.h"

namespace kv::errors {
namespace {

// Rules 1 to 10: the text is shown and the operation in progress is abandoned; the unwind ends
// at the nearest recovery point (the catch of util::Abandon by the operation's owner).
[[noreturn]] void inform_and_abandon(const std::string& text) {
    util::unlock_system();
    util::POPMSG(text, 1);
    throw util::Abandon(text);
}

// Headless there is nobody to ask: the whole report goes to standard error, no mail is prepared.
void write_report(const std::string& diagnostic) {
    std::string text = diagnostic;
    for (char& c : text)
        if (c == ';') c = '\n';
    std::fprintf(stderr, "Attenzione: %s\nApplicazione: %s\n", text.c_str(),
                 program_path().c_str());
    std::fflush(stderr);
}

// Rule 14: the diagnostic, the offer to mail it, and the end of the program.
[[noreturn]] void report_and_end(const util::ErrorRecord& error) {
    util::unlock_system();
    const std::string diagnostic = ERRORMESSAGE(error);
    if (gui::is_headless()) {
        write_report(diagnostic);
    } else if (util::POPMSG(report_question(diagnostic), 2) == 1) {
        open_url(report_address(diagnostic, program_path()));
    }
    end_program(kExitAfterError);
}

}  // namespace

util::ErrorAnswer DEFERROR(const util::ErrorRecord& error) {
    if (const std::string text = disk_failure_text(error); !text.empty()) inform_and_abandon(text);
    if (error.gencode == 1001) inform_and_abandon(ERRORMESSAGE(error));
    if (error.gencode == 5) return 0.0;
    if ((error.gencode == 21 && error.oscode == 32 && error.candefault) ||
        (error.gencode == 40 && error.candefault)) {
        util::NETERR(true);
        return std::nullopt;
    }
    report_and_end(error);
}

}  // namespace kv::errors
