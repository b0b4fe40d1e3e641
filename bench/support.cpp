#include "bench/support.h"

#include <QCoreApplication>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "cli/command_line.h"
#include "gui/run_mode.h"

namespace kv::bench {

using namespace std::chrono_literals;

// ---- command line ------------------------------------------------------------------------------

Options::Options(std::string program, std::string purpose)
    : program_(std::move(program)), purpose_(std::move(purpose)) {}

Options& Options::add(std::string name, std::string help, std::string value) {
    options_.push_back({std::move(name), std::move(help), std::move(value)});
    return *this;
}

Options::Option* Options::find(const std::string& name) {
    for (auto& o : options_)
        if (o.name == name) return &o;
    return nullptr;
}

const Options::Option& Options::get(const std::string& name) const {
    for (const auto& o : options_)
        if (o.name == name) return o;
    throw std::logic_error("no option " + name);
}

std::string Options::usage() const {
    std::ostringstream s;
    s << "Usage: " << program_ << " [options]\n\n" << purpose_ << "\n\nOptions:\n";
    for (const auto& o : options_)
        s << "  --" << o.name << " VALUE\n      " << o.help << " (default " << o.value << ")\n";
    s << "  -h, --help\n      show this text.\n";
    return s.str();
}

void Options::parse(int argc, char** argv) {
    std::vector<std::string> names;
    for (const auto& o : options_) names.push_back("--" + o.name);
    std::vector<cli::Option> known;
    for (const std::string& name : names) known.push_back({name, "a value"});
    const std::string help = usage();
    const cli::Program program{program_, help, known};
    const int status = cli::start(program, argc, argv, [&](const cli::CommandLine& line) {
        if (!line.operands.empty())
            throw cli::UsageError("unknown argument " + line.operands.front());
        for (const auto& [name, value] : line.options) find(name.substr(2))->value = value;
        return -1;
    });
    if (status >= 0) std::exit(status);
}

std::string Options::text(const std::string& name) const {
    return get(name).value;
}

double Options::number(const std::string& name) const {
    const std::string& v = get(name).value;
    try {
        std::size_t used = 0;
        double d = std::stod(v, &used);
        if (used == v.size() && d >= 0) return d;
    } catch (const std::exception&) {
    }
    throw Broken("--" + name + " needs a number of 0 or more, not " + v);
}

std::size_t Options::count(const std::string& name) const {
    return static_cast<std::size_t>(number(name));
}

int run(const std::function<int()>& body) {
    try {
        return body();
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "benchmark failed: " << e.what() << "\n";
        return 1;
    }
}

int run_in_temp_folder(int argc, char** argv, const std::function<int()>& body) {
    gui::set_headless(true);
    QCoreApplication app(argc, argv);
    return run([&] {
        TempFolder folder;
        std::filesystem::current_path(folder.path());
        return body();
    });
}

// ---- output ------------------------------------------------------------------------------------

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void heading(const std::string& text) {
    std::cout << "\n" << text << "\n";
}

void figure(const std::string& label, const std::string& value) {
    constexpr std::size_t kWidth = 44;
    std::string padded = "  " + label;
    if (padded.size() < kWidth) padded.resize(kWidth, ' ');
    std::cout << padded << " " << value << "\n" << std::flush;
}

std::string grouped(double value) {
    const std::string digits = std::to_string(static_cast<long long>(value + 0.5));
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string ratio(double value) {
    return fixed(value, value < 0.1 ? 3 : 2);
}

std::string bytes_per_second(double bytes, double seconds) {
    return grouped(bytes / seconds) + " bytes/s";
}

std::string line_rate_multiple(double bytes, double seconds) {
    return fixed(bytes / seconds / kLineRate, 1) + " x the line rate";
}

bool goal(const std::string& text, bool met) {
    figure("goal: " + text, met ? "goal met" : "goal missed");
    return met;
}

// ---- temporary folder and byte stream ----------------------------------------------------------

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kv32-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw Broken("cannot create a temporary folder");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string stream_bytes(std::size_t n, std::uint32_t seed) {
    std::string bytes(n, '\0');
    std::uint32_t x = seed;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 16);
    }
    return bytes;
}

// ---- bare pseudo-terminal ----------------------------------------------------------------------

double bare_pty_transfer(const std::string& bytes, Direction direction) {
    dev::PtyPair pty;
    dev::DeviceLink master = pty.take_master();
    dev::DeviceLink slave = dev::DeviceLink::open(pty.slave_path());
    pty.release_slave();
    dev::DeviceLink& writer = direction == Direction::kMasterToSlave ? master : slave;
    dev::DeviceLink& reader = direction == Direction::kMasterToSlave ? slave : master;

    const auto start = Clock::now();
    std::thread write_all([&] { writer.send_raw(bytes); });
    std::string got = reader.read_bytes(bytes.size(), 5s);
    const double seconds = seconds_since(start);
    write_all.join();
    if (got != bytes)
        throw Broken("the bare pseudo-terminal delivered " + std::to_string(got.size()) + " of " +
                     std::to_string(bytes.size()) + " bytes, or not in order");
    return seconds;
}

double bare_pty_exchange(std::size_t lines, std::size_t line_size) {
    dev::PtyPair pty;
    dev::DeviceLink device = pty.take_master();
    dev::DeviceLink pc = dev::DeviceLink::open(pty.slave_path());
    pty.release_slave();
    const std::string line(line_size, 'L');

    const auto start = Clock::now();
    std::thread lister([&] {
        for (std::size_t i = 0; i < lines; ++i) {
            pc.send_raw(line);
            if (!pc.read_byte(5s)) return;
        }
    });
    std::size_t received = 0;
    for (; received < lines; ++received) {
        if (!device.read_byte(5s) || device.read_bytes(line_size - 1, 5s).size() != line_size - 1)
            break;
        device.send_byte(0x06);
    }
    const double seconds = seconds_since(start);
    lister.join();
    if (received != lines)
        throw Broken("the bare pseudo-terminal exchange stopped after " + std::to_string(received) +
                     " of " + std::to_string(lines) + " lines");
    return seconds;
}

// ---- kv32 on a pseudo-terminal -----------------------------------------------------------------

namespace {
const std::string kWaitingLine = "Waiting command (ESC to exit)...";
constexpr auto kStartTimeout = 20s;
}  // namespace

Kv32Run::Kv32Run(const std::string& binary, const std::vector<std::string>& extra_args,
                 bool headless)
    : headless_(headless) {
    if (::access(binary.c_str(), X_OK) != 0) throw Broken("no kv32 program at " + binary);
    std::vector<std::string> args{"--port", pty_.slave_path()};
    if (headless) args.insert(args.begin(), "--headless");
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    process_ = std::make_unique<dev::ChildProcess>(binary, args, folder_.path().string());
    device_ = std::make_unique<dev::DeviceLink>(pty_.take_master());
}

Kv32Run::~Kv32Run() = default;  // the child is killed if it still runs

void Kv32Run::wait_started() {
    if (!device_->read_start_byte(kStartTimeout) ||
        (headless_ && !process_->wait_for_line(kWaitingLine, kStartTimeout)))
        throw Broken("kv32 did not start serving: " + process_->err());
}

void Kv32Run::stop() {
    process_->signal(SIGTERM);
    auto status = process_->wait_exit(kStartTimeout);
    if (status != 0)
        throw Broken("kv32 did not end cleanly (" +
                     (status ? "status " + std::to_string(*status) : std::string("still running")) +
                     "): " + process_->err());
}

// ---- processor time ----------------------------------------------------------------------------

long memory_kib(const std::string& field) {
    std::ifstream status("/proc/self/status");
    const std::string wanted = field + ":";
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(wanted, 0) == 0) return std::stol(line.substr(wanted.size()));
    }
    return 0;
}

double cpu_tick_seconds() {
    return 1.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double process_cpu_seconds(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name in parentheses may hold spaces: count the fields after its last ')'.
    auto close = stat.rfind(')');
    if (close == std::string::npos)
        throw Broken("cannot read /proc/" + std::to_string(pid) + "/stat");
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    // After the name: state (3), ppid (4) ... utime (14), stime (15).
    for (int i = 3; i < 14 && fields >> field; ++i) {
    }
    unsigned long long utime = 0, stime = 0;
    if (!(fields >> utime >> stime))
        throw Broken("cannot parse /proc/" + std::to_string(pid) + "/stat");
    return static_cast<double>(utime + stime) * cpu_tick_seconds();
}

}  // namespace kv::bench
