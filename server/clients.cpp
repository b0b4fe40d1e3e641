// The client helpers and the probe for a running server.
#include <sys/stat.h>
#include <unistd.h>

#include "platform/files.h"
#include "server/command_files.h"
#include "server/server.h"

namespace kv::server {
namespace {

void post_and_wait(const std::string& word) {
    // A file that could not be posted is not waited for.
    if (const auto file = post_command(word)) wait_until_deleted(*file);
}

}  // namespace

void CMDREINDEX() {
    post_and_wait("REINDEX");
}

void CMDUPDATEDB() {
    post_and_wait("UPDATEDB");
}

void CMDUPDATE() {
    post_and_wait("UPDATE");
}

void CMDSINCWEB() {
    post_command("SINCWEB");
}

ServerProbe probe_server() {
    const std::string path = platform::resolve_path(kServerFile);
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return {ServerState::Absent, "No server is running (no SERVER.EXE in this folder)."};
    if (S_ISDIR(st.st_mode))
        return {ServerState::Unusable,
                "No server is running: SERVER.EXE is a folder, so no server can start here."};
    if (!S_ISREG(st.st_mode))
        return {ServerState::Unusable,
                "No server is running: SERVER.EXE is not a file, so no server can start here."};
    // The server holds the file open for reading only, which a read-only file or one of another
    // user allows; the probe opens it the same way and is refused only while a server holds it.
    platform::File probe;
    if (probe.open(kServerFile, platform::Access::Read, platform::Share::DenyAll,
                   platform::Disposition::OpenExisting, platform::NameCase::AsGiven)) {
        probe.close();
        std::string note;
        if ((st.st_mode & S_IWUSR) == 0) note = "read-only";
        if (st.st_uid != ::geteuid())
            note += std::string(note.empty() ? "" : ", ") + "owned by another user";
        return {ServerState::Idle, "No server is running" +
                                       (note.empty() ? "" : " (SERVER.EXE is " + note + ")") + "."};
    }
    const auto error = platform::last_file_error();
    if (error.win32 == platform::win_error::SHARING_VIOLATION)
        return {ServerState::Running, "A server is running."};
    return {ServerState::Unusable, "No server is running: SERVER.EXE cannot be opened (" +
                                       platform::file_error_text(error) +
                                       "), so no server can start here."};
}

bool ISSERVERRUNNING() {
    return probe_server().state == ServerState::Running;
}

}  // namespace kv::server
