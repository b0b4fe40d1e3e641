#include "fs/profile.h"

namespace kv::fs {

std::string GETPVPROFSTRING(const std::string&, const std::string&, const std::string& default_value,
                            const std::string&) {
    return default_value;
}

bool WRITEPPROSTRING(const std::string&, const std::string&, const std::string&, const std::string&) {
    return false;
}

}  // namespace kv::fs
