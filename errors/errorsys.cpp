// ERRORSYS: DEFERROR in the process-wide slot, and the errors that arrive without an error
// record: exceptions that escape an event handler or the window's thread, and fatal signals.
#include <cxxabi.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <typeinfo>
#include <vector>

#include "errors/diagnostic.h"
#include "errors/errors.h"
#include "errors/program_end.h"
#include "errors/stack_walk.h"
#include "errors/thrown_place.h"
#include "gui/event_exceptions.h"
#include "util/abandon.h"
#include "util/startup.h"

namespace kv::errors {
namespace {

std::string type_name(const std::type_info* type) {
    if (!type) return "C++";
    int status = 0;
    char* text = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    std::string name = status == 0 && text ? text : type->name();
    std::free(text);
    return name;
}

// An exception that nothing caught: rule 14, with the exception's text as the description, at
// the place that threw it.
[[noreturn]] void report_uncaught(std::exception_ptr exception) {
    util::ErrorRecord record;
    record.subsystem = type_name(abi::__cxa_current_exception_type());
    const void* object = nullptr;
    try {
        std::rethrow_exception(exception);
    } catch (const std::exception& e) {
        record.subsystem = type_name(&typeid(e));
        record.description = e.what();
        object = dynamic_cast<const void*>(&e);
    } catch (...) {
        record.description = "unknown exception";
    }
    std::optional<RaisedAt> raised;
    if (const auto stack = thrown_stack(object)) raised.emplace(source_place_of(*stack));
    DEFERROR(record);
    end_program(kExitAfterError);  // DEFERROR returns for no record without a code
}

// An exception that escaped an event handler. An abandoned operation with no recovery point of its
// own ends with its event: the user has been told, the program goes on.
void on_event_exception(std::exception_ptr exception) {
    try {
        std::rethrow_exception(exception);
    } catch (const util::Abandon&) {
    } catch (const util::QuitProgram&) {
        throw;
    } catch (...) {
        report_uncaught(std::current_exception());
    }
}

bool on_window_thread() {
    return ::syscall(SYS_gettid) == ::getpid();
}

void on_terminate() {
    static bool terminating = false;
    std::exception_ptr exception = std::current_exception();
    if (exception && on_window_thread() && !terminating) {
        terminating = true;
        try {
            std::rethrow_exception(exception);
        } catch (const util::Abandon& abandoned) {
            // Abandoned with no recovery point around it: the user has been told already.
            std::fprintf(stderr, "%s\n", abandoned.what());
            end_program(kExitAfterError);
        } catch (...) {
            report_uncaught(std::current_exception());
        }
    }
    std::fputs("terminate called", stderr);
    if (exception) {
        try {
            std::rethrow_exception(exception);
        } catch (const std::exception& e) {
            std::fprintf(stderr, " after an exception: %s", e.what());
        } catch (...) {
        }
    }
    std::fputs("\n", stderr);
    std::abort();
}

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

void write_text(const char* text) {
    [[maybe_unused]] auto n = ::write(2, text, std::strlen(text));
}

// Best effort: the signal's name and the stack, then the signal's default action.
void on_fatal_signal(int sig) {
    write_text(program_invocation_short_name);
    write_text(": fatal signal: ");
    write_text(sigdescr_np(sig) ? sigdescr_np(sig) : "unknown");
    write_text("\n");
    write_stack(2);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigaction(sig, &fallback, nullptr);
    ::raise(sig);  // delivered when the handler returns; a fault recurs at once
}

void install_fatal_signal_handlers() {
    static std::vector<char> alternate_stack(64 * 1024);
    stack_t stack{};
    stack.ss_sp = alternate_stack.data();
    stack.ss_size = alternate_stack.size();
    sigaltstack(&stack, nullptr);
    struct sigaction action {};
    action.sa_handler = on_fatal_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_ONSTACK | SA_RESETHAND;
    for (int sig : kFatalSignals) sigaction(sig, &action, nullptr);
}

}  // namespace

void ERRORSYS() {
    util::set_error_handler(DEFERROR);
    note_throws();
    gui::set_event_exception_handler(on_event_exception);
    std::set_terminate(on_terminate);
    prepare_stack_walks();
    install_fatal_signal_handlers();
}

}  // namespace kv::errors
