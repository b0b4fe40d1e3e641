#pragma once
// The run-time error handler: DEFERROR decides what each run-time error means for the user, and
// ERRORSYS makes it the process-wide handler before the library's start-up runs.
//
// Known disk and file failures are explained in a box and abandon the operation in progress (an
// unwind to the nearest recovery point); division by zero and shared-access failures of table
// opens and appends are absorbed; anything else is reported, with the offer to mail the report,
// and ends the program with kExitAfterError.
#include <functional>
#include <string>

#include "util/error_record.h"
#include "util/scoped_slot.h"

namespace kv::errors {

// The exit status of a program ended by an unexpected run-time error.
inline constexpr int kExitAfterError = 3;

// Installs DEFERROR as the process-wide error handler; exceptions that escape an event handler
// or end the window's thread, and fatal signals, are reported too.
void ERRORSYS();

// The handler: a substitute value, nothing (the failed operation fails quietly), or no return at
// all (util::Abandon is thrown, or the program ends).
util::ErrorAnswer DEFERROR(const util::ErrorRecord& error);

// Opens an address ("mailto:...") with the desktop's default handler.
using UrlOpener = std::function<void(const std::string& address)>;
// Ends the program with an exit status after the library's shut-down; must not return.
using ProgramEnd = std::function<void(int exit_status)>;

namespace detail {
UrlOpener& url_opener_slot();
ProgramEnd& program_end_slot();
}  // namespace detail

// Replace the URL opener and the program's end while the guard lives (tests).
using ScopedUrlOpener = util::ScopedSlot<UrlOpener, detail::url_opener_slot>;
using ScopedProgramEnd = util::ScopedSlot<ProgramEnd, detail::program_end_slot>;

}  // namespace kv::errors
