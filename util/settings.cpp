#include "util/settings.h"

namespace kv::util {

RuntimeSettings& settings() {
    static RuntimeSettings instance;
    return instance;
}

void set_file_case(const std::string& mode) { settings().file_case = mode; }

}  // namespace kv::util
