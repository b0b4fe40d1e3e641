#pragma once
// What the benchmarks share: their command line, the way they print figures, ratios and goals,
// a temporary folder, a checkable byte stream, the bare pseudo-terminal reference and kv32 run
// headless on a pseudo-terminal.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/kvdev/child_process.h"
#include "tools/kvdev/link.h"

namespace kv::bench {

// The serial line's rate: 57600 baud, 10 bits a byte (start, 8 data, stop).
constexpr double kLineRate = 5760.0;

// Something broke: the benchmark ends with a non-zero status.
class Broken : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Options given as --name value or --name=value, read as every program of KV32 reads its own
// (cli/command_line.h). -h or --help prints the usage and ends the program.
class Options {
  public:
    Options(std::string program, std::string purpose);
    Options& add(std::string name, std::string help, std::string value);
    // Exits 0 after --help and 2 after an unknown or incomplete option.
    void parse(int argc, char** argv);
    std::string text(const std::string& name) const;
    double number(const std::string& name) const;
    std::size_t count(const std::string& name) const;

  private:
    struct Option {
        std::string name, help, value;
    };
    Option* find(const std::string& name);
    const Option& get(const std::string& name) const;
    std::string usage() const;

    std::string program_, purpose_;
    std::vector<Option> options_;
};

// Runs the benchmark; an exception is reported and gives exit status 1.
int run(const std::function<int()>& body);
// The same headless, with an application for the event loop, in a fresh temporary folder that is
// the current one while body runs (the benchmarks of the table functions).
int run_in_temp_folder(int argc, char** argv, const std::function<int()>& body);

using Clock = std::chrono::steady_clock;
double seconds_since(Clock::time_point start);

// Output, in aligned columns.
void heading(const std::string& text);
void figure(const std::string& label, const std::string& value);
std::string grouped(double value);  // 1234567.8 -> "1,234,568"
std::string fixed(double value, int decimals);
std::string ratio(double value);  // two decimals, three below 0.1
std::string bytes_per_second(double bytes, double seconds);
std::string line_rate_multiple(double bytes, double seconds);
// Prints "goal met" or "goal missed" after the goal's text and returns whether it was met.
bool goal(const std::string& text, bool met);

// A fresh folder under the system's temporary folder, removed with its contents at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Bytes that are all different in order and count from a shift, a loss or a repeat: a simple
// linear congruential generator's high bytes, the same for the same seed.
std::string stream_bytes(std::size_t n, std::uint32_t seed = 1);

// Carries the bytes across a fresh pseudo-terminal pair with nothing in between: a thread writes
// them on one end, the caller reads them on the other with a plain read loop. Returns the seconds
// from the first write to the last byte read; throws Broken when what came differs.
enum class Direction { kMasterToSlave, kSlaveToMaster };
double bare_pty_transfer(const std::string& bytes, Direction direction);

// The exchange of a listing over a fresh bare pseudo-terminal pair: a thread on the slave sends
// `lines` lines of `line_size` bytes, each after the previous one's one-byte acknowledgement; the
// caller reads them on the master as the device does (first byte, then the rest) and
// acknowledges each. Returns the seconds for all of them; throws Broken when a line goes missing.
double bare_pty_exchange(std::size_t lines, std::size_t line_size);

// kv32 --headless serving a fresh pseudo-terminal, run in a temporary folder, with the caller as
// the device on the master. With `headless` false it runs in its window (on the platform that
// QT_QPA_PLATFORM names), whose log does not reach standard output.
class Kv32Run {
  public:
    explicit Kv32Run(const std::string& binary, const std::vector<std::string>& extra_args = {},
                     bool headless = true);
    ~Kv32Run();
    // Waits for the start byte and (headless) the first waiting line; throws Broken when they do
    // not come.
    void wait_started();
    // Ends it as SIGTERM does; throws Broken when it does not end cleanly.
    void stop();

    dev::DeviceLink& device() { return *device_; }
    dev::ChildProcess& process() { return *process_; }
    const std::filesystem::path& folder() const { return folder_.path(); }

  private:
    bool headless_;
    TempFolder folder_;
    dev::PtyPair pty_;
    std::unique_ptr<dev::ChildProcess> process_;
    std::unique_ptr<dev::DeviceLink> device_;
};

// A memory figure of this process from /proc/self/status, in KiB: "VmRSS" (resident now) or
// "VmHWM" (the peak resident); 0 when it is not there.
long memory_kib(const std::string& field);

// User and system processor time of a process so far, all its threads, from /proc/<pid>/stat.
double process_cpu_seconds(int pid);
// The resolution of those figures (one clock tick).
double cpu_tick_seconds();

}  // namespace kv::bench
