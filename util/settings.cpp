#include "util/settings.h"

#include "platform/files.h"

namespace kv::util {

RuntimeSettings& settings() {
    static RuntimeSettings instance;
    return instance;
}

void set_file_case(const std::string& mode) {
    settings().file_case = mode;
    platform::set_upper_case_file_names(mode == "UPPER");
}

}  // namespace kv::util
