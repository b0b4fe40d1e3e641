#pragma once
// Where an error was raised: the nearest frame of the running call stack that belongs to the
// application's own code (the core, the window layer, the server) and has a source line in the
// program's debug information. The library's frames (errors/, util/, fs/, db/, platform/), the
// toolkit's and the standard library's carry no line for this purpose and are skipped.
#include <cstdint>
#include <string>
#include <vector>

namespace kv::errors {

struct SourcePlace {
    std::string function;  // "" when the walk ran off the top of the stack
    int line = 0;
};

// The place of the caller's nearest application frame.
SourcePlace nearest_source_place();
// The place of the nearest application frame of a noted stack (return addresses, innermost
// first), such as the one noted when an exception was thrown.
SourcePlace source_place_of(const std::vector<std::uintptr_t>& stack);

// The function name shown for a (demangled) symbol: without namespaces of the project and
// without the parameter list; a lambda is named after the function that holds it, also where
// the symbol is the standard library's caller of the lambda (std::function's _M_invoke).
std::string shown_function_name(const std::string& symbol);

// True when a frame of this source file counts (the file as the debug information names it).
bool application_source(const std::string& file);

// Prepares the debug information for walks made later from a signal handler.
void prepare_stack_walks();

// Writes the frames of the running stack to a file descriptor, without allocating memory (for
// the fatal-signal diagnostic).
void write_stack(int fd);

}  // namespace kv::errors
