#include "server/command_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFileSystemWatcher>
#include <QString>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "gui/pump.h"
#include "platform/files.h"
#include "util/file_names.h"

namespace kv::server {
namespace {

// The moment in a name made by GETNEWFNAME: "CMD_", the mark, the date as YYYYMMDD, then the
// hundredths of a second since midnight without leading zeros, then the extension.
// Read without copying: the waiting files are kept in this order, so it is asked often.
struct Moment {
    std::string_view date;
    unsigned long long hundredths = 0;
};

std::optional<Moment> moment_of(const std::string& name) {
    std::size_t at = 4;  // after "CMD_"
    if (at < name.size() && name[at] == '\x7f') ++at;
    std::size_t end = at;
    while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
    if (end - at < 9 || end - at > 15 || end >= name.size() || name[end] != '.')
        return std::nullopt;
    unsigned long long hundredths = 0;
    for (std::size_t i = at + 8; i < end; ++i)
        hundredths = hundredths * 10 + static_cast<unsigned>(name[i] - '0');
    return Moment{std::string_view(name).substr(at, 8), hundredths};
}

// Files on network folders send no change notices: the wait also looks every so often.
constexpr std::chrono::milliseconds kDeletionPoll{100};

// Tries a name a few times over: every failure but a taken name ends the post.
constexpr int kNameTries = 100;

// Renames without replacing: false with errno EEXIST when the new name is taken. File systems
// without the no-replace rename get a hard link and the removal of the old name, which is just as
// exclusive.
bool rename_no_replace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    if (::link(from.c_str(), to.c_str()) != 0) return false;
    ::unlink(from.c_str());
    return true;
}

std::string error_text(int error) {
    return std::strerror(error);
}

}  // namespace

bool comes_before(const std::string& a, const std::string& b) {
    const auto x = moment_of(a);
    const auto y = moment_of(b);
    if (x && y && (x->date != y->date || x->hundredths != y->hundredths))
        return x->date != y->date ? x->date < y->date : x->hundredths < y->hundredths;
    return a < b;
}

// "CMD_*.INI" tested directly: the folder's every name passes here when it is listed, and a
// folder may hold tens of thousands of other files.
bool matches_command_pattern(const std::string& name) {
    return name.size() >= 8 && platform::names_equal_ignoring_case(name.substr(0, 4), "CMD_") &&
           platform::names_equal_ignoring_case(name.substr(name.size() - 4), ".INI");
}

bool literal_command_name(const std::string& name) {
    return matches_command_pattern(name) && name.find_first_of("\\/") == std::string::npos;
}

std::optional<std::string> first_command_file() {
    std::optional<std::string> first;
    platform::FindOptions options;
    options.hidden = true;
    options.system = true;
    for (const auto& entry : platform::find_entries(kCommandPattern, options)) {
        if (!literal_command_name(entry.name)) continue;
        if (!first || comes_before(entry.name, *first)) first = entry.name;
    }
    return first;
}

std::optional<std::string> post_command(const std::string& word, std::string* why) {
    const std::string text = "[Command]\r\nCommand=" + word + "\r\n";
    for (int tries = 0; tries < kNameTries; ++tries) {
        // Two posts in the same hundredth of a second make the same name: the one that comes
        // second finds it taken, here or at the rename, and goes on to the next hundredth.
        const std::string base = "CMD_" + util::GETNEWFNAME();
        const std::string draft = base + ".TMP";
        const int fd = ::open(draft.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            if (why) *why = "cannot write a command file in this folder: " + error_text(errno);
            return std::nullopt;
        }
        const bool written =
            ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        const int write_error = errno;
        ::close(fd);
        if (!written) {
            ::unlink(draft.c_str());
            if (why)
                *why = "cannot write a command file in this folder: " + error_text(write_error);
            return std::nullopt;
        }
        const std::string name = base + ".INI";
        if (rename_no_replace(draft, name)) return name;
        const int rename_error = errno;
        ::unlink(draft.c_str());
        if (rename_error == EEXIST) continue;
        if (why) *why = "cannot post a command file in this folder: " + error_text(rename_error);
        return std::nullopt;
    }
    if (why) *why = "every name tried for the command file was taken";
    return std::nullopt;
}

void wait_until_deleted(const std::string& file) {
    QFileSystemWatcher watcher;
    watcher.addPath(QString::fromLocal8Bit(file.c_str()));
    while (platform::file_exists(file)) gui::wait_for_events(kDeletionPoll);
}

}  // namespace kv::server
