#include "platform/files.h"
#include "util/paths.h"

namespace kv::util {
namespace {

int erase_result(const std::string& file) {
    return platform::delete_file(file) ? 0 : -1;
}
bool copy_over(const std::string& from, const std::string& to) {
    return platform::copy_file(from, to, false, platform::NameCase::Setting);
}

}  // namespace

bool ISTABLE(const std::string& file) {
    return platform::file_exists(file);
}
bool ISINDEX(const std::string& file) {
    return platform::file_exists(file);
}
int DELETETABLE(const std::string& file) {
    return erase_result(file);
}
int DELETEINDEX(const std::string& file) {
    return erase_result(file);
}
bool COPYTABLE(const std::string& source, const std::string& destination) {
    return copy_over(source, destination);
}
bool COPYINDEX(const std::string& source, const std::string& destination) {
    return copy_over(source, destination);
}
bool MOVETABLE(const std::string& source, const std::string& destination) {
    return platform::move_file(source, destination, platform::NameCase::Setting);
}
bool MOVEINDEX(const std::string& source, const std::string& destination) {
    return platform::move_file(source, destination, platform::NameCase::Setting);
}

}  // namespace kv::util
