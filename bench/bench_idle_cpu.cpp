// Processor use of kv32 --headless while it waits for a command, against a loop that polls
// without sleeping for the same time: what a design that spins while it waits would cost.
#include <unistd.h>

#include <QCoreApplication>
#include <iostream>
#include <thread>

#include "bench/support.h"
#include "core/receive_buffer.h"

using namespace kv::bench;

namespace {

struct CpuUse {
    double cpu_seconds;
    double wall_seconds;
    double share() const { return cpu_seconds / wall_seconds; }
};

CpuUse measure_while_sleeping(int pid, double seconds) {
    const double before = process_cpu_seconds(pid);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    return {process_cpu_seconds(pid) - before, seconds_since(start)};
}

// A waiting loop that never sleeps: try the receive buffer, pump the events, start again.
CpuUse spin_for(double seconds) {
    const int self = static_cast<int>(::getpid());
    const double before = process_cpu_seconds(self);
    const auto start = Clock::now();
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        if (!kv::core::GETCHAR().empty()) throw Broken("a byte came from nowhere");
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    return {process_cpu_seconds(self) - before, seconds_since(start)};
}

std::string percent(double share) {
    return fixed(share * 100.0, 2) + " % of one core";
}

}  // namespace

int main(int argc, char** argv) {
    Options options("bench_idle_cpu",
                    "Measures the processor time that kv32 --headless uses while it waits for a\n"
                    "command, and the same for a loop that polls without sleeping.\n"
                    "Goal: kv32 under 1 % of one core.");
    options.add("seconds", "how long each of the two is measured", "5")
        .add("kv32", "the kv32 program", KV32_BINARY);
    options.parse(argc, argv);
    QCoreApplication app(argc, argv);

    return run([&] {
        const double seconds = options.number("seconds");
        if (seconds <= 0) throw Broken("--seconds must be more than 0");
        std::cout << "Processor use while waiting for a command, " << fixed(seconds, 1)
                  << " s each (resolution " << fixed(cpu_tick_seconds() * 1000, 0) << " ms)\n";

        Kv32Run kv(options.text("kv32"));
        kv.wait_started();
        const CpuUse waiting = measure_while_sleeping(kv.process().pid(), seconds);
        const bool still_waiting = kv.process().out_lines().size() == 1;
        kv.stop();
        if (!still_waiting) throw Broken("kv32 logged something while no command came");
        const CpuUse spinning = spin_for(seconds);

        figure("kv32 --headless waiting", percent(waiting.share()) + " (" +
                                              fixed(waiting.cpu_seconds, 2) + " s of processor)");
        figure(
            "reference: loop polling without sleep",
            percent(spinning.share()) + " (" + fixed(spinning.cpu_seconds, 2) + " s of processor)");
        // Less than one clock tick measures as 0: the ratio is then at least the one for a tick.
        const bool below_resolution = waiting.cpu_seconds < cpu_tick_seconds() / 2;
        const double kv_cpu = below_resolution ? cpu_tick_seconds() : waiting.cpu_seconds;
        figure("ratio reference / kv32", (below_resolution ? "more than " : "") +
                                             fixed(spinning.cpu_seconds / kv_cpu, 0) + " x");
        goal("kv32 under 1 % of one core", waiting.share() < 0.01);
        return 0;
    });
}
