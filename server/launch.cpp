// UPDATE: the updater started detached, with the base name as its parameter. It is looked for
// beside the server's own program and on the search path, never in the served folder, where
// anyone who writes in the folder could plant a program of their own.
#include <sys/stat.h>
#include <unistd.h>

#include <QProcess>
#include <QString>
#include <cstdlib>
#include <memory>
#include <vector>

#include "errors/diagnostic.h"
#include "platform/files.h"
#include "server/servergo.h"

namespace kv::server {
namespace {

constexpr const char* kUpdater = "UPDSERVER.EXE";

std::string real_path(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : std::string();
}

// The folders looked in, in order: the server program's own, then each absolute folder of the
// search path; the served folder never.
std::vector<std::string> updater_folders() {
    std::vector<std::string> folders;
    const std::string served = real_path(platform::current_folder());
    const auto add = [&](const std::string& folder) {
        const std::string real = real_path(folder);
        if (real.empty() || real == served) return;
        for (const auto& known : folders)
            if (known == real) return;
        folders.push_back(real);
    };
    const std::string program = errors::program_path();
    add(program.substr(0, program.find_last_of('/') + 1));
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "";
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t end = std::min(list.find(':', at), list.size());
        const std::string folder = list.substr(at, end - at);
        if (!folder.empty() && folder.front() == '/') add(folder);
        at = end + 1;
    }
    return folders;
}

// Why a file may not be started: it must be an executable regular file owned by root or by the
// server's own user; empty when it may.
std::string unfit(const std::string& path) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return "it cannot be read";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    if ((st.st_mode & S_IXUSR) == 0 || ::access(path.c_str(), X_OK) != 0)
        return "it is not executable";
    if (st.st_uid != 0 && st.st_uid != ::geteuid())
        return "it is not owned by root or by this server's user";
    return {};
}

// The updater to start, or why there is none.
std::string find_updater(std::string& why) {
    for (const auto& folder : updater_folders()) {
        for (const char* name : {kUpdater, "UPDSERVER"}) {
            const auto found = platform::find_entries(folder + "/" + name);
            if (found.empty()) continue;
            const std::string path = folder + "/" + found[0].name;
            const std::string reason = unfit(path);
            if (reason.empty()) return path;
            if (why.empty()) why = path + " is not started: " + reason;
        }
    }
    if (why.empty()) why = "not found beside the server or on the search path";
    return {};
}

}  // namespace

std::string launch_updater(const std::string& base_name) {
    std::string why;
    const std::string program = find_updater(why);
    if (program.empty()) return std::string("cannot start ") + kUpdater + ": " + why;
    QProcess process;
    process.setProgram(QString::fromLocal8Bit(program.c_str()));
    process.setArguments({QString::fromLocal8Bit(base_name.c_str())});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        return "cannot start " + program + ": " + process.errorString().toStdString();
    return "started the updater " + program + " " + base_name + " (process " + std::to_string(pid) +
           ")";
}

}  // namespace kv::server
