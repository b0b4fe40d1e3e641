// Command latency of kvserver: the time from a command file's rename to ".INI" until the server
// has deleted it, with the folder watch and with the 100 ms look alone, in an empty folder and in
// one that holds 20,000 other files; processor use of an idle server in both; and the time to
// clear a backlog of command files. The latency's reference is the same rename answered by a
// thread that deletes the file named by the folder's change notice: what any server that watches
// the folder must take. The backlog's reference is a plain loop that does a server's work on each
// file (look at it, read the command word, delete the file, write a log line).
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "bench/support.h"

using namespace kv::bench;
namespace fs = std::filesystem;

namespace {

// Change notices of one folder.
class FolderWatch {
  public:
    FolderWatch(const fs::path& folder, std::uint32_t events) : fd_(inotify_init1(IN_CLOEXEC)) {
        if (fd_ < 0 || inotify_add_watch(fd_, folder.c_str(), events) < 0)
            throw Broken("cannot watch " + folder.string());
    }
    ~FolderWatch() { ::close(fd_); }
    // Waits up to the time-out for notices; the names they carry (none after the time-out).
    std::vector<std::string> wait(int timeout_ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) return {};
        alignas(inotify_event) char buffer[16384];
        const ssize_t n = ::read(fd_, buffer, sizeof buffer);
        std::vector<std::string> names;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            names.emplace_back(event->len ? event->name : "");
        }
        if (names.empty()) names.emplace_back();
        return names;
    }

  private:
    int fd_;
};

// Posts one empty command (written as .TMP, renamed to .INI) and returns the seconds until the
// file is gone.
double one_command(const fs::path& folder, FolderWatch& deletions, int n) {
    const fs::path tmp = folder / ("CMD_" + std::to_string(n) + ".TMP");
    const fs::path ini = folder / ("CMD_" + std::to_string(n) + ".INI");
    std::ofstream(tmp) << "[Command]\r\nCommand=\r\n";
    const auto start = Clock::now();
    fs::rename(tmp, ini);
    while (fs::exists(ini)) {
        if (seconds_since(start) > 10) throw Broken("the command file was not deleted in 10 s");
        deletions.wait(100);
    }
    return seconds_since(start);
}

struct Latency {
    double median;
    double worst;
};

Latency summary(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return {seconds[seconds.size() / 2], seconds.back()};
}

// Fills a folder with files that are no command files.
void add_other_files(const fs::path& folder, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        std::ofstream(folder / ("DATA" + std::to_string(i) + ".DBF"));
}

struct Served {
    std::vector<double> seconds;
    double idle_share = 0;
};

Served serve(const std::string& kvserver, bool poll_only, std::size_t commands,
             std::size_t other_files, double idle_seconds) {
    TempFolder folder;
    add_other_files(folder.path(), other_files);
    std::vector<std::string> args{"--headless"};
    if (poll_only) args.push_back("--poll-only");
    kv::dev::ChildProcess server(kvserver, args, folder.path().string());
    if (!server.wait_for_prefix("", std::chrono::seconds(20)))
        throw Broken("kvserver did not start");
    Served served;
    if (idle_seconds > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // past the first look
        const double before = process_cpu_seconds(server.pid());
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idle_seconds));
        served.idle_share = (process_cpu_seconds(server.pid()) - before) / seconds_since(start);
    }
    FolderWatch deletions(folder.path(), IN_DELETE);
    for (std::size_t i = 0; i < commands; ++i) {
        served.seconds.push_back(one_command(folder.path(), deletions, static_cast<int>(i)));
        // Posts come at random moments of the look's period.
        std::this_thread::sleep_for(std::chrono::milliseconds(7 * (i % 13)));
    }
    server.signal(SIGTERM);
    if (server.wait_exit(std::chrono::seconds(20)) != 0) throw Broken("kvserver did not end");
    return served;
}

std::vector<double> reference(std::size_t commands, std::size_t other_files) {
    TempFolder folder;
    add_other_files(folder.path(), other_files);
    std::atomic<bool> stop{false};
    FolderWatch arrivals(folder.path(), IN_MOVED_TO);
    std::thread deleter([&] {
        while (!stop) {
            for (const auto& name : arrivals.wait(50))
                if (!name.empty()) fs::remove(folder.path() / name);
        }
    });
    FolderWatch deletions(folder.path(), IN_DELETE);
    std::vector<double> seconds;
    for (std::size_t i = 0; i < commands; ++i)
        seconds.push_back(one_command(folder.path(), deletions, static_cast<int>(i)));
    stop = true;
    deleter.join();
    return seconds;
}

// A backlog of command files written in place before anything serves them.
void write_backlog(const fs::path& folder, std::size_t files) {
    for (std::size_t i = 0; i < files; ++i)
        std::ofstream(folder / ("CMD_" + std::to_string(100000 + i) + ".INI"))
            << "[Command]\r\nCommand=NOP\r\n";
}

// Seconds from the server's start line until every file of the backlog is gone.
double clear_backlog(const std::string& kvserver, std::size_t files) {
    TempFolder folder;
    write_backlog(folder.path(), files);
    FolderWatch deletions(folder.path(), IN_DELETE);
    kv::dev::ChildProcess server(kvserver, {"--headless"}, folder.path().string());
    if (!server.wait_for_prefix("", std::chrono::seconds(20)))
        throw Broken("kvserver did not start");
    const auto start = Clock::now();
    std::size_t gone = 0;
    while (gone < files) {
        if (seconds_since(start) > 600) throw Broken("the backlog was not cleared in 10 minutes");
        for (const auto& name : deletions.wait(1000))
            if (name.rfind("CMD_", 0) == 0) ++gone;
        server.out();  // keeps the log's pipe flowing
    }
    const double seconds = seconds_since(start);
    server.signal(SIGTERM);
    if (server.wait_exit(std::chrono::seconds(20)) != 0) throw Broken("kvserver did not end");
    return seconds;
}

// The same work in a plain loop: each file looked at (a server must know that it is a regular
// file and has settled before reading what others write), its command word read, the file
// deleted, a log line with the time written to a log file and flushed.
double plain_backlog(std::size_t files) {
    TempFolder folder;
    write_backlog(folder.path(), files);
    TempFolder logs;
    FILE* log = std::fopen((logs.path() / "server.log").c_str(), "w");
    if (!log) throw Broken("cannot write the plain loop's log");
    const auto start = Clock::now();
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(folder.path())) names.push_back(entry.path());
    std::sort(names.begin(), names.end());
    for (const auto& name : names) {
        struct stat st;
        if (::lstat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        std::ifstream in(name);
        std::string line;
        std::string word;
        while (std::getline(in, line))
            if (line.rfind("Command=", 0) == 0) word = line.substr(8);
        in.close();
        fs::remove(name);
        const std::time_t now = std::time(nullptr);
        char stamp[32];
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
        std::fprintf(log, "%s %s: unknown command %s: nothing done (0 ms)\n", stamp,
                     name.filename().c_str(), word.c_str());
        std::fflush(log);
    }
    std::fclose(log);
    return seconds_since(start);
}

std::string ms(double seconds) {
    return fixed(seconds * 1000.0, 2) + " ms";
}

std::string percent(double share) {
    return fixed(share * 100.0, 2) + " % of one core (resolution " +
           fixed(cpu_tick_seconds() * 1000, 0) + " ms)";
}

}  // namespace

int main(int argc, char** argv) {
    Options options(
        "bench_server_latency",
        "Measures how long kvserver --headless takes to carry out an empty command\n"
        "file (from its rename to .INI until it is deleted), with the folder watch and\n"
        "with the 100 ms look alone, in an empty folder and among 20,000 other files;\n"
        "its processor use while idle; and the time to clear a backlog of command files\n"
        "against a plain loop doing the same work.\n"
        "Goals: watch under 10 ms, look alone under 400 ms (a file must settle for\n"
        "200 ms), idle under 1 % of one core with or without the other files, backlog\n"
        "within 3 x the plain loop and linear in its size.");
    options.add("commands", "command files posted in each mode", "40")
        .add("seconds", "how long the idle server is measured", "3")
        .add("others", "files that are no command files, for the folder-size case", "20000")
        .add("backlog", "command files waiting at the start, for the backlog case", "10000")
        .add("kvserver", "the kvserver program", KVSERVER_BINARY);
    options.parse(argc, argv);

    return run([&] {
        const std::size_t commands = options.count("commands");
        const std::size_t others = options.count("others");
        const std::size_t backlog = options.count("backlog");
        if (commands == 0 || backlog < 4)
            throw Broken("--commands must be more than 0, --backlog at least 4");
        const std::string kvserver = options.text("kvserver");
        const double idle_seconds = options.number("seconds");
        const Served watch = serve(kvserver, false, commands, 0, idle_seconds);
        const Served poll = serve(kvserver, true, commands, 0, 0);
        const Served crowded = serve(kvserver, false, commands, others, idle_seconds);
        const Latency at_watch = summary(watch.seconds);
        const Latency at_poll = summary(poll.seconds);
        const Latency at_crowded = summary(crowded.seconds);
        const Latency bare = summary(reference(commands, 0));
        const Latency bare_crowded = summary(reference(commands, others));
        const double quarter = clear_backlog(kvserver, backlog / 4);
        const double full = clear_backlog(kvserver, backlog);
        const double plain = plain_backlog(backlog);

        heading("Command latency, " + std::to_string(commands) + " empty commands each");
        figure("kvserver, folder watch",
               "median " + ms(at_watch.median) + ", worst " + ms(at_watch.worst));
        figure("kvserver, 100 ms look alone",
               "median " + ms(at_poll.median) + ", worst " + ms(at_poll.worst));
        figure("reference: watching thread deletes",
               "median " + ms(bare.median) + ", worst " + ms(bare.worst));
        figure("watch / reference (median)", ratio(at_watch.median / bare.median));
        heading("Among " + grouped(static_cast<double>(others)) + " other files");
        figure("kvserver, folder watch",
               "median " + ms(at_crowded.median) + ", worst " + ms(at_crowded.worst));
        figure("reference: watching thread deletes",
               "median " + ms(bare_crowded.median) + ", worst " + ms(bare_crowded.worst));
        figure("watch / reference (median)", ratio(at_crowded.median / bare_crowded.median));
        heading("Idle server");
        figure("kvserver waiting, empty folder", percent(watch.idle_share));
        figure("kvserver waiting, among the other files", percent(crowded.idle_share));
        heading("Backlog of " + grouped(static_cast<double>(backlog)) + " command files");
        figure("kvserver, from its start",
               fixed(full, 2) + " s (" + ms(full / backlog) + " a file)");
        figure("kvserver, a quarter of them",
               fixed(quarter, 2) + " s (" + ms(quarter / (backlog / 4)) + " a file)");
        figure("reference: plain loop",
               fixed(plain, 2) + " s (" + ms(plain / backlog) + " a file)");
        figure("kvserver / plain loop", ratio(full / plain));
        figure("per file, full / quarter", ratio((full / backlog) / (quarter / (backlog / 4))));
        goal("watch: worst under 10 ms", at_watch.worst < 0.010);
        goal("look alone: worst under 400 ms", at_poll.worst < 0.400);
        goal("idle: under 1 % of one core", watch.idle_share < 0.01);
        goal("idle among the other files: under 1 % of one core", crowded.idle_share < 0.01);
        goal("backlog: within 3 x the plain loop", full < 3 * plain);
        goal("backlog: linear (per file within 1.5 x of a quarter's)",
             full / backlog < 1.5 * quarter / (backlog / 4));
        return 0;
    });
}
