// Throughput of received bytes through KV32's whole receive path, in this process: the
// pseudo-terminal, the port's reader thread, its ring, the notification to the window's thread,
// the receive buffer and GETCHAR. The reference is a plain read loop on the same kind of
// pseudo-terminal.
#include <QCoreApplication>
#include <algorithm>
#include <iostream>
#include <thread>

#include "bench/support.h"
#include "core/receive_buffer.h"
#include "core/serial.h"
#include "gui/pump.h"
#include "gui/run_mode.h"
#include "gui/window.h"

using namespace kv::bench;
using namespace std::chrono_literals;

namespace {

// The port opened on the slave of a pseudo-terminal as the program opens its own, notifying a
// window whose comm-notify handler APRICOM installed; the device writes on the master.
class PortUnderTest {
  public:
    PortUnderTest() {
        handle_ = kv::core::APRICOM(window_, pty_.slave_path());
        if (handle_ < 0) throw Broken("the port could not be opened on " + pty_.slave_path());
        pty_.release_slave();
    }
    ~PortUnderTest() { kv::core::CLOSECOMM(handle_); }

    // Seconds from the first write on the master to the last byte taken with GETCHAR.
    double receive(const std::string& bytes) {
        kv::core::receive_buffer().clear();
        const auto start = Clock::now();
        std::thread writer([&] { device_.send_raw(bytes); });
        const std::size_t got = take(bytes);
        const double seconds = seconds_since(start);
        writer.join();
        if (got != bytes.size())
            throw Broken("GETCHAR gave " + std::to_string(got) + " of " +
                         std::to_string(bytes.size()) + " bytes in order");
        return seconds;
    }

  private:
    // Takes bytes while they match, pumping the window's events (and waiting for one) whenever
    // the receive buffer is empty, as the program's waiting loops do. Returns how many matched.
    static std::size_t take(const std::string& expected) {
        std::size_t got = 0;
        auto last_progress = Clock::now();
        while (got < expected.size()) {
            std::string c = kv::core::GETCHAR();
            if (!c.empty()) {
                if (c[0] != expected[got]) return got;
                ++got;
                last_progress = Clock::now();
                continue;
            }
            if (Clock::now() - last_progress > 10s) return got;
            kv::gui::SYSREFRESH();
            if (kv::core::receive_buffer().empty()) kv::gui::wait_for_events(100ms);
        }
        return got;
    }

    kv::dev::PtyPair pty_;
    kv::dev::DeviceLink device_ = pty_.take_master();
    kv::gui::Window window_;
    int handle_ = -1;
};

}  // namespace

int main(int argc, char** argv) {
    Options options("bench_receive",
                    "Measures received bytes per second through KV32's receive path (reader\n"
                    "thread, ring, notification, receive buffer, GETCHAR) and through a plain\n"
                    "read loop on a pseudo-terminal. Each round carries the same bytes both\n"
                    "ways; the best round of each counts.\n"
                    "Goal: KV32 at least 100 x the line rate of 5,760 bytes/s.");
    options.add("bytes", "bytes carried in each round", "4194304")
        .add("rounds", "rounds of each measurement", "3");
    options.parse(argc, argv);
    kv::gui::set_headless(true);
    auto app = kv::gui::create_application(argc, argv, true);

    return run([&] {
        const std::size_t size = options.count("bytes");
        const std::size_t rounds = std::max<std::size_t>(options.count("rounds"), 1);
        if (size == 0) throw Broken("--bytes must be more than 0");
        const std::string bytes = stream_bytes(size);
        std::cout << "Receiving " << grouped(static_cast<double>(size)) << " bytes, best of "
                  << rounds << " rounds\n";

        PortUnderTest port;
        double kv32 = 1e9, bare = 1e9;
        for (std::size_t i = 0; i < rounds; ++i) {
            kv32 = std::min(kv32, port.receive(bytes));
            bare = std::min(bare, bare_pty_transfer(bytes, Direction::kMasterToSlave));
        }
        const double n = static_cast<double>(size);
        figure("KV32 receive path to GETCHAR",
               bytes_per_second(n, kv32) + " (" + fixed(kv32, 3) + " s)");
        figure("reference: plain read loop",
               bytes_per_second(n, bare) + " (" + fixed(bare, 3) + " s)");
        figure("ratio KV32 / reference", ratio(bare / kv32));
        figure("KV32 against the line rate", line_rate_multiple(n, kv32));
        goal("KV32 at least 100 x the line rate", n / kv32 >= 100 * kLineRate);
        return 0;
    });
}
