#include "server/command_files.h"

#include <QFileSystemWatcher>
#include <QString>
#include <cctype>
#include <chrono>

#include "fs/profile.h"
#include "gui/pump.h"
#include "platform/files.h"
#include "util/file_names.h"

namespace kv::server {
namespace {

// The moment in a name made by GETNEWFNAME: "CMD_", the mark, the date as YYYYMMDD, then the
// hundredths of a second since midnight without leading zeros, then the extension.
struct Moment {
    std::string date;
    unsigned long long hundredths = 0;
};

std::optional<Moment> moment_of(const std::string& name) {
    std::size_t at = 4;  // after "CMD_"
    if (at < name.size() && name[at] == '\x7f') ++at;
    std::size_t end = at;
    while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
    if (end - at < 9 || end - at > 15 || end >= name.size() || name[end] != '.')
        return std::nullopt;
    return Moment{name.substr(at, 8), std::stoull(name.substr(at + 8, end - at - 8))};
}

// Files on network folders send no change notices: the wait also looks every so often.
constexpr std::chrono::milliseconds kDeletionPoll{100};

}  // namespace

bool comes_before(const std::string& a, const std::string& b) {
    const auto x = moment_of(a);
    const auto y = moment_of(b);
    if (x && y && (x->date != y->date || x->hundredths != y->hundredths))
        return x->date != y->date ? x->date < y->date : x->hundredths < y->hundredths;
    return a < b;
}

std::optional<std::string> first_command_file() {
    std::optional<std::string> first;
    for (const auto& entry : platform::find_entries(kCommandPattern)) {
        if (!first || comes_before(entry.name, *first)) first = entry.name;
    }
    return first;
}

std::string post_command(const std::string& word) {
    const std::string name = "CMD_" + util::GETNEWFNAME() + ".INI";
    fs::WRITEPPROSTRING("Command", "Command", word, ".\\" + name);
    return name;
}

void wait_until_deleted(const std::string& file) {
    QFileSystemWatcher watcher;
    watcher.addPath(QString::fromLocal8Bit(file.c_str()));
    while (platform::file_exists(file)) gui::wait_for_events(kDeletionPoll);
}

}  // namespace kv::server
