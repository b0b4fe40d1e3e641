#pragma once
// The command-file server: a resident process that carries out the command files ("CMD_*.INI")
// that client programs drop into the shared current folder, and deletes each file when its
// command is done; the client helpers that post them; the probe for a running server.
#include <functional>
#include <string>
#include <vector>

#include "db/language.h"

namespace kv::server {

// How the server serves its folder.
struct ServerOptions {
    // Besides the 100 ms look, the folder's change notices tell the server at once which command
    // files appeared (file systems that send none, network folders, are served by the look).
    bool watch_folder = true;
    // The tree that a SETVIEW's tables and bags must lie in (see share_root.h); empty: the served
    // folder.
    std::string root;
};

// Runs the server in the current folder until it is closed ("Chiudi" in the tray menu; SIGINT or
// SIGTERM where there is no tray). `program_name` names the program it serves; its part after the
// last "\" is the base name that the updater receives. False when it cannot serve the folder
// (another server holds it, or SERVER.EXE cannot be held; the log says which); nothing was served.
// Also false when it ended because another server took SERVER.EXE while it ran (after someone
// removed or replaced the file it held).
bool SERVER(const std::string& program_name, const ServerOptions& options = {});

// "Server " + the program name capitalised + " " + the current folder.
std::string server_title(const std::string& program_name, const std::string& current_folder);

// The client helpers: post "REINDEX", "UPDATEDB" or "UPDATE" and wait, the window's events
// handled meanwhile, until the server has deleted the file; CMDSINCWEB posts "SINCWEB" and
// returns at once.
void CMDREINDEX();
// Posts "UPDATEDB" and waits until the server has carried it out.
void CMDUPDATEDB();
// Posts "UPDATE" and waits until the server has carried it out.
void CMDUPDATE();
// Posts "SINCWEB" and returns at once.
void CMDSINCWEB();

// What SERVER.EXE in the current folder says about a server there.
enum class ServerState {
    Absent,    // no SERVER.EXE: no server runs
    Idle,      // SERVER.EXE can be held: no server runs, one can start
    Running,   // another process holds SERVER.EXE for itself alone
    Unusable,  // SERVER.EXE is a folder or cannot be opened: no server runs, none can start
};
// What the probe found, with a sentence for the user.
struct ServerProbe {
    ServerState state = ServerState::Absent;
    std::string text;  // one sentence for the user, such as "No server is running: ..."
};
// Looks at SERVER.EXE in the current folder.
ServerProbe probe_server();

// True while a server runs in the current folder: another process holds "SERVER.EXE" there for
// itself alone (the running server holds it so).
bool ISSERVERRUNNING();

// The application's maintenance routines ("Manutenzione", "AggiornaDatabase", "SincWeb"), looked
// up by name when a command asks for them. This program registers none.
using Routine = std::function<void(const std::vector<db::Value>& arguments)>;
// Registers a maintenance routine under its name.
void register_routine(const std::string& name, Routine routine);
// Forgets a maintenance routine.
void unregister_routine(const std::string& name);

}  // namespace kv::server
