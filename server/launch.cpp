// UPDATE: the updater started detached, with the base name as its parameter.
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include "platform/files.h"
#include "server/servergo.h"

namespace kv::server {
namespace {

constexpr const char* kUpdater = "UPDSERVER.EXE";

// The updater as the shell finds it: in the current folder (any case, with or without ".EXE"),
// else on the search path.
QString find_updater() {
    for (const char* name : {kUpdater, "UPDSERVER"}) {
        const auto found = platform::find_entries(name);
        if (!found.empty())
            return QString::fromLocal8Bit(
                (platform::current_folder() + "/" + found[0].name).c_str());
    }
    for (const char* name : {"UPDSERVER.EXE", "UPDSERVER", "updserver.exe", "updserver"}) {
        const QString path = QStandardPaths::findExecutable(name);
        if (!path.isEmpty()) return path;
    }
    return {};
}

}  // namespace

std::string launch_updater(const std::string& base_name) {
    const QString program = find_updater();
    if (program.isEmpty()) return std::string("cannot start ") + kUpdater + ": not found";
    QProcess process;
    process.setProgram(program);
    process.setArguments({QString::fromLocal8Bit(base_name.c_str())});
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid))
        return "cannot start " + program.toStdString() + ": " + process.errorString().toStdString();
    return "started " + program.toStdString() + " " + base_name + " (process " +
           std::to_string(pid) + ")";
}

}  // namespace kv::server
