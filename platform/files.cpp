// First cut: the interface compiles; the implementation follows.
#include "platform/files.h"

namespace kv::platform {

namespace {
thread_local FileError g_last_error;
bool g_upper_case = false;
}  // namespace

FileError last_file_error() {
    return g_last_error;
}
std::string file_error_text(const FileError&) {
    return {};
}
void set_upper_case_file_names(bool upper) {
    g_upper_case = upper;
}
bool upper_case_file_names() {
    return g_upper_case;
}
std::string to_upper_name(std::string name) {
    return name;
}
bool names_equal_ignoring_case(const std::string& a, const std::string& b) {
    return a == b;
}
std::string folder_part(const std::string&) {
    return {};
}
std::string file_part(const std::string& name) {
    return name;
}
bool ends_with_separator(const std::string&) {
    return false;
}
std::string resolve_path(const std::string& name, NameCase) {
    return name;
}
std::optional<std::string> full_path_name(const std::string&) {
    return std::nullopt;
}
bool has_wildcards(const std::string&) {
    return false;
}
bool wildcard_match(const std::string& pattern, const std::string& name) {
    return pattern == name;
}
FileTime filetime_from_unix(std::int64_t, std::int64_t) {
    return 0;
}
std::pair<std::int64_t, std::int64_t> unix_from_filetime(FileTime) {
    return {0, 0};
}
std::vector<DirEntry> find_entries(const std::string&, const FindOptions&) {
    return {};
}
bool file_exists(const std::string&) {
    return false;
}
bool folder_exists(const std::string&) {
    return false;
}
bool path_exists(const std::string&) {
    return false;
}
std::uint32_t file_attributes(const std::string&) {
    return INVALID_ATTRIBUTES;
}
bool set_file_attributes(const std::string&, std::uint32_t) {
    return false;
}
std::optional<FileTimes> file_times(const std::string&) {
    return std::nullopt;
}
bool set_last_write_time(const std::string&, FileTime) {
    return false;
}

File::~File() {
    close();
}
File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}
File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}
bool File::open(const std::string&, Access, Share, Disposition, NameCase) {
    return false;
}
void File::close() {
    fd_ = -1;
}
std::optional<std::string> File::read(std::size_t) {
    return std::nullopt;
}
bool File::write(const std::string&) {
    return false;
}
std::int64_t File::seek(std::int64_t, int) {
    return -1;
}
std::optional<std::uint64_t> File::size() const {
    return std::nullopt;
}
bool File::resize(std::uint64_t) {
    return false;
}
bool File::flush() {
    return false;
}
bool File::lock(std::uint64_t, std::uint64_t, bool) {
    return false;
}
bool File::unlock(std::uint64_t, std::uint64_t) {
    return false;
}

std::optional<std::string> read_whole_file(const std::string&, NameCase) {
    return std::nullopt;
}
bool write_whole_file(const std::string&, const std::string&, NameCase) {
    return false;
}
bool delete_file(const std::string&, NameCase) {
    return false;
}
bool move_file(const std::string&, const std::string&, NameCase) {
    return false;
}
bool copy_file(const std::string&, const std::string&, bool, NameCase) {
    return false;
}
bool create_folder(const std::string&) {
    return false;
}
bool remove_folder(const std::string&) {
    return false;
}
std::string current_folder() {
    return {};
}
bool set_current_folder(const std::string&) {
    return false;
}
std::optional<std::uint64_t> disk_free_space(const std::string&) {
    return std::nullopt;
}
int drive_type(const std::string&) {
    return DRIVE_UNKNOWN;
}
std::string temp_folder() {
    return "/tmp";
}

}  // namespace kv::platform
