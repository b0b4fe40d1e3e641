#include "errors/stack_walk.h"

#include <backtrace.h>
#include <cxxabi.h>
#include <unistd.h>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace kv::errors {
namespace {

backtrace_state* debug_info() {
    // Created once and kept for the whole run, as the library requires.
    static backtrace_state* state = backtrace_create_state(nullptr, 1, nullptr, nullptr);
    return state;
}

void ignore_error(void*, const char*, int) {}

std::string demangled(const char* symbol) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> text(
        abi::__cxa_demangle(symbol, nullptr, nullptr, &status), &std::free);
    return status == 0 && text ? std::string(text.get()) : std::string(symbol);
}

struct Walk {
    SourcePlace place;
    bool found = false;
};

void take_symbol(void* data, uintptr_t, const char* symbol, uintptr_t, uintptr_t) {
    if (symbol) *static_cast<std::string*>(data) = demangled(symbol);
}

// The debug information names a lambda "operator()"; the symbol table names the function
// that holds it.
std::string function_at(uintptr_t pc, const char* function) {
    std::string name = demangled(function);
    if (name.rfind("operator()", 0) == 0 || name.rfind("<lambda", 0) == 0)
        backtrace_syminfo(debug_info(), pc, take_symbol, ignore_error, &name);
    return shown_function_name(name);
}

int on_frame(void* data, uintptr_t pc, const char* file, int line, const char* function) {
    if (!file || !function || line <= 0 || !application_source(file)) return 0;
    auto* walk = static_cast<Walk*>(data);
    walk->place = {function_at(pc, function), line};
    walk->found = true;
    return 1;
}

// The first component of a source file's path below the project's folder; "" outside it. The
// debug information names a file by its full path, or relative to the build folder when the
// compiler cache made the paths relative ("../core/save.cpp").
std::string project_folder(const std::string& file) {
    namespace fs = std::filesystem;
    fs::path path = fs::path(file).lexically_normal();
    if (path.is_absolute()) {
        path = path.lexically_relative(fs::path(KV32_SOURCE_DIR).lexically_normal());
        if (path.empty() || *path.begin() == "..") return {};
    }
    auto part = path.begin();
    while (part != path.end() && (*part == ".." || *part == ".")) ++part;
    return part == path.end() ? std::string() : part->string();
}

void put(int fd, const char* text) {
    if (!text) return;
    [[maybe_unused]] auto n = ::write(fd, text, std::strlen(text));
}

int write_frame(void* data, uintptr_t, const char* file, int line, const char* function) {
    const int fd = *static_cast<int*>(data);
    if (!function) return 0;
    std::array<char, 16> number{};
    int at = static_cast<int>(number.size()) - 1;
    for (int n = line; at > 0 && (n > 0 || at == static_cast<int>(number.size()) - 1); n /= 10)
        number[--at] = static_cast<char>('0' + n % 10);
    put(fd, "  at ");
    put(fd, function);
    if (file) {
        put(fd, " (");
        put(fd, file);
        put(fd, ":");
        put(fd, number.data() + at);
        put(fd, ")");
    }
    put(fd, "\n");
    return 0;
}

// The qualified name of the function that holds the first lambda of a symbol, with "()" after it
// ("kv::server::filter_of()"); "" when the symbol names no lambda inside a function.
std::string lambda_holder(const std::string& symbol) {
    const std::size_t lambda = symbol.find("::{lambda");
    if (lambda == std::string::npos) return {};
    std::size_t end = lambda;  // just after the holder's parameter list (and qualifiers)
    for (const std::string qualifier : {" const", " volatile", " &&", " &"}) {
        if (end >= qualifier.size() &&
            symbol.compare(end - qualifier.size(), qualifier.size(), qualifier) == 0)
            end -= qualifier.size();
    }
    if (end == 0 || symbol[end - 1] != ')') return {};
    // Back over the parameter list to its "(".
    int depth = 0;
    std::size_t open = end;
    while (open > 0) {
        const char c = symbol[--open];
        if (c == ')' || c == '>') ++depth;
        if (c == '(' || c == '<') --depth;
        if (depth == 0) break;
    }
    // Back over the qualified name to the blank, comma or bracket before it.
    std::size_t start = open;
    depth = 0;
    while (start > 0) {
        const char c = symbol[start - 1];
        if (c == ')' || c == '>') ++depth;
        if ((c == '(' || c == '<') && depth == 0) break;
        if (c == '(' || c == '<') --depth;
        if ((c == ' ' || c == ',') && depth == 0) break;
        --start;
    }
    return symbol.substr(start, open - start) + "()";
}

}  // namespace

bool application_source(const std::string& file) {
    const std::string folder = project_folder(file);
    return folder == "core" || folder == "gui" || folder == "server";
}

std::string shown_function_name(const std::string& full_symbol) {
    const std::string holder = lambda_holder(full_symbol);
    std::string symbol = holder.empty() ? full_symbol : holder;
    const std::string anonymous = "(anonymous namespace)::";
    for (auto at = symbol.find(anonymous); at != std::string::npos; at = symbol.find(anonymous))
        symbol.erase(at, anonymous.size());
    // The qualified name ends at the first parenthesis outside template arguments.
    int depth = 0;
    std::size_t end = symbol.size();
    for (std::size_t i = 0; i < symbol.size(); ++i) {
        const char c = symbol[i];
        if (c == '<') ++depth;
        if (c == '>' && depth > 0) --depth;
        if (c == '(' && depth == 0 && i > 0) {
            end = i;
            break;
        }
    }
    std::string name = symbol.substr(0, end);
    // The project's namespaces: kv::<layer>::.
    if (name.rfind("kv::", 0) == 0) {
        const std::size_t layer_end = name.find("::", 4);
        if (layer_end != std::string::npos) name.erase(0, layer_end + 2);
    }
    return name;
}

SourcePlace nearest_source_place() {
    Walk walk;
    if (auto* state = debug_info()) backtrace_full(state, 1, on_frame, ignore_error, &walk);
    return walk.found ? walk.place : SourcePlace{};
}

SourcePlace source_place_of(const std::vector<std::uintptr_t>& stack) {
    Walk walk;
    auto* state = debug_info();
    for (std::size_t i = 0; state && !walk.found && i < stack.size(); ++i) {
        // A return address: the call is the instruction before it.
        if (stack[i] == 0) continue;
        backtrace_pcinfo(state, stack[i] - 1, on_frame, ignore_error, &walk);
    }
    return walk.found ? walk.place : SourcePlace{};
}

void prepare_stack_walks() {
    // Reading the debug information once here spares a signal handler the first reading.
    nearest_source_place();
}

void write_stack(int fd) {
    if (auto* state = debug_info()) backtrace_full(state, 0, write_frame, ignore_error, &fd);
}

}  // namespace kv::errors
