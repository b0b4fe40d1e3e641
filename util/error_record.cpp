#include "util/error_record.h"

#include <utility>

namespace kv::util {
namespace {

std::string describe(const ErrorRecord& record) {
    std::string text = "run-time error " + std::to_string(record.gencode);
    if (record.description) text += ": " + *record.description;
    if (!record.filename.empty()) text += " (" + record.filename + ")";
    return text;
}

ErrorAnswer default_handler(const ErrorRecord& record) {
    throw UnhandledError(record);
}

bool& network_error_flag() {
    static bool flag = false;
    return flag;
}

}  // namespace

ErrorHandler& detail::error_handler_slot() {
    static ErrorHandler handler = default_handler;
    return handler;
}

UnhandledError::UnhandledError(ErrorRecord record)
    : std::runtime_error(describe(record)), record_(std::move(record)) {}

ErrorAnswer raise_error(const ErrorRecord& record) {
    const ErrorHandler& handler = detail::error_handler_slot();
    return handler ? handler(record) : default_handler(record);
}

void set_error_handler(ErrorHandler handler) {
    detail::error_handler_slot() = handler ? std::move(handler) : ErrorHandler(default_handler);
}

bool NETERR(std::optional<bool> new_value) {
    if (new_value) network_error_flag() = *new_value;
    return network_error_flag();
}

}  // namespace kv::util
