// The client helpers and the probe for a running server.
#include "platform/files.h"
#include "server/command_files.h"
#include "server/server.h"

namespace kv::server {

void CMDREINDEX() {
    wait_until_deleted(post_command("REINDEX"));
}

void CMDUPDATEDB() {
    wait_until_deleted(post_command("UPDATEDB"));
}

void CMDUPDATE() {
    wait_until_deleted(post_command("UPDATE"));
}

void CMDSINCWEB() {
    post_command("SINCWEB");
}

bool ISSERVERRUNNING() {
    if (!platform::file_exists(kServerFile)) return false;
    platform::File probe;
    if (!probe.open(kServerFile, platform::Access::ReadWrite, platform::Share::DenyAll,
                    platform::Disposition::OpenExisting, platform::NameCase::AsGiven))
        return true;
    probe.close();
    return false;
}

}  // namespace kv::server
