// Command latency of kvserver: the time from a command file's rename to ".INI" until the server
// has deleted it, with the folder watch and with the 100 ms poll alone; processor use of an idle
// server. The reference is the same rename answered by a thread that deletes the file as soon as
// the folder's change notice arrives: what any server that watches the folder must take.
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
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
    // Waits up to the time-out for notices and drops them; false when none came.
    bool wait(int timeout_ms) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0) return false;
        char buffer[4096];
        [[maybe_unused]] auto n = ::read(fd_, buffer, sizeof buffer);
        return true;
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

std::vector<double> serve(const std::string& kvserver, bool poll_only, std::size_t commands,
                          double* idle_share, double idle_seconds) {
    TempFolder folder;
    std::vector<std::string> args{"--headless"};
    if (poll_only) args.push_back("--poll-only");
    kv::dev::ChildProcess server(kvserver, args, folder.path().string());
    if (!server.wait_for_prefix("", std::chrono::seconds(20)))
        throw Broken("kvserver did not start");
    if (idle_share) {
        const double before = process_cpu_seconds(server.pid());
        const auto start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(idle_seconds));
        *idle_share = (process_cpu_seconds(server.pid()) - before) / seconds_since(start);
    }
    FolderWatch deletions(folder.path(), IN_DELETE);
    std::vector<double> seconds;
    for (std::size_t i = 0; i < commands; ++i) {
        seconds.push_back(one_command(folder.path(), deletions, static_cast<int>(i)));
        // Posts come at random moments of the poll's period.
        std::this_thread::sleep_for(std::chrono::milliseconds(7 * (i % 13)));
    }
    server.signal(SIGTERM);
    if (server.wait_exit(std::chrono::seconds(20)) != 0) throw Broken("kvserver did not end");
    return seconds;
}

std::vector<double> reference(std::size_t commands) {
    TempFolder folder;
    std::atomic<bool> stop{false};
    FolderWatch arrivals(folder.path(), IN_MOVED_TO);
    std::thread deleter([&] {
        while (!stop) {
            if (!arrivals.wait(50)) continue;
            for (const auto& e : fs::directory_iterator(folder.path()))
                if (e.path().extension() == ".INI") fs::remove(e.path());
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

std::string ms(double seconds) {
    return fixed(seconds * 1000.0, 2) + " ms";
}

}  // namespace

int main(int argc, char** argv) {
    Options options(
        "bench_server_latency",
        "Measures how long kvserver --headless takes to carry out an empty command\n"
        "file (from its rename to .INI until it is deleted), with the folder watch and\n"
        "with the 100 ms poll alone, and its processor use while idle.\n"
        "Goals: watch under 10 ms, poll under 150 ms, idle under 1 % of one core.");
    options.add("commands", "command files posted in each mode", "40")
        .add("seconds", "how long the idle server is measured", "3")
        .add("kvserver", "the kvserver program", KVSERVER_BINARY);
    options.parse(argc, argv);

    return run([&] {
        const std::size_t commands = options.count("commands");
        if (commands == 0) throw Broken("--commands must be more than 0");
        double idle = 0;
        const Latency watch = summary(
            serve(options.text("kvserver"), false, commands, &idle, options.number("seconds")));
        const Latency poll = summary(serve(options.text("kvserver"), true, commands, nullptr, 0));
        const Latency bare = summary(reference(commands));

        heading("Command latency, " + std::to_string(commands) + " empty commands each");
        figure("kvserver, folder watch",
               "median " + ms(watch.median) + ", worst " + ms(watch.worst));
        figure("kvserver, 100 ms poll alone",
               "median " + ms(poll.median) + ", worst " + ms(poll.worst));
        figure("reference: watching thread deletes",
               "median " + ms(bare.median) + ", worst " + ms(bare.worst));
        figure("watch / reference (median)", ratio(watch.median / bare.median));
        heading("Idle server");
        figure("kvserver waiting", fixed(idle * 100.0, 2) + " % of one core (resolution " +
                                       fixed(cpu_tick_seconds() * 1000, 0) + " ms)");
        goal("watch: worst under 10 ms", watch.worst < 0.010);
        goal("poll alone: worst under 150 ms", poll.worst < 0.150);
        goal("idle: under 1 % of one core", idle < 0.01);
        return 0;
    });
}
