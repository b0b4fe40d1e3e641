#pragma once
// Run-time errors: the record that the code raising an error fills, the process-wide handler slot
// that receives it, and the network-error flag that table opens and appends leave behind.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "util/scoped_slot.h"

namespace kv::util {

// A run-time error: its codes, its place and what may be done about it.
struct ErrorRecord {
    int severity = 2;                        // 0 or 1 a warning, 2 or more an error
    int gencode = 0;                         // generic code: 5, 21, 32, 40, 1001, ...
    std::optional<long> subcode;             // subsystem's own code: 1012, 2016, ...
    int oscode = 0;                          // Windows system error code, 0 if none
    std::optional<std::string> subsystem;    // name of the raising subsystem
    std::optional<std::string> description;  // text of the error
    std::string filename;                    // file involved, may be empty
    std::string operation;                   // operation or function involved, may be empty
    bool candefault = false;                 // a quiet failure is an acceptable answer
};

// The handler's answer when it returns: a substitute value for the failed operation's result, or
// nothing, which asks for the default action (the operation fails quietly). A handler may also
// never return: it throws Abandon or ends the program.
using ErrorAnswer = std::optional<double>;
using ErrorHandler = std::function<ErrorAnswer(const ErrorRecord&)>;

// Thrown by the default handler, which stands until the error handler is installed.
class UnhandledError : public std::runtime_error {
  public:
    // An error that no handler answered.
    explicit UnhandledError(ErrorRecord record);
    // The record of the error.
    const ErrorRecord& record() const { return record_; }

  private:
    ErrorRecord record_;
};

// Hands an error to the process-wide handler and gives back its answer.
ErrorAnswer raise_error(const ErrorRecord& record);
// Replaces the process-wide handler; an empty handler restores the default one.
void set_error_handler(ErrorHandler handler);

// The network-error flag: its value, after setting it when a new value is given.
bool NETERR(std::optional<bool> new_value = std::nullopt);

namespace detail {
// The handler slot itself; an empty handler there stands for the default one.
ErrorHandler& error_handler_slot();
}  // namespace detail

// Installs a handler for the guard's lifetime and restores the previous one after (tests).
using ScopedErrorHandler = ScopedSlot<ErrorHandler, detail::error_handler_slot>;

}  // namespace kv::util
