#include "fs/directory.h"

#include "platform/files.h"

namespace kv::fs {

namespace pf = kv::platform;

namespace {

constexpr std::size_t MAX_PATH = 260;

}  // namespace

bool CREATEDIR(const OptPath& path, std::int64_t) {
    return path && pf::create_folder(*path);
}

bool REMOVEDIR(const OptPath& path) {
    return path && pf::remove_folder(*path);
}

bool SETCURDIR(const OptPath& path) {
    return path && pf::set_current_folder(*path);
}

std::int64_t DISKFREESPACE(const OptPath& path) {
    auto free = pf::disk_free_space(path.value_or(std::string()));
    return free ? static_cast<std::int64_t>(*free) : 0;
}

std::string FULLNAME(const OptPath& path) {
    if (!path) return {};
    auto full = pf::full_path_name(*path);
    if (!full || full->size() >= MAX_PATH) return {};
    return *full;
}

bool SETFILEDATETIME(const OptPath& source, const OptPath& target) {
    if (!source || !target) return false;
    auto times = pf::file_times(*source);
    return times && pf::set_last_write_time(*target, times->last_write);
}

bool COPYFILE(const OptPath& source, const OptPath& target, bool fail_if_exists) {
    return source && target &&
           pf::copy_file(*source, *target, fail_if_exists, pf::NameCase::AsGiven);
}

bool MOVEFILE(const OptPath& source, const OptPath& target) {
    return source && target && pf::move_file(*source, *target, pf::NameCase::AsGiven);
}

bool DELETEFILE(const OptPath& path) {
    return path && pf::delete_file(*path, pf::NameCase::AsGiven);
}

std::int32_t GETFILEATTRIBUTES(const OptPath& path) {
    if (!path) return -1;
    return static_cast<std::int32_t>(pf::file_attributes(*path));
}

bool SETFILEATTRIBUTES(const OptPath& path, std::uint32_t attributes) {
    return path && pf::set_file_attributes(*path, attributes);
}

std::int32_t GETDRIVETYPE(const OptPath& root) {
    return pf::drive_type(root.value_or(std::string()));
}

}  // namespace kv::fs
