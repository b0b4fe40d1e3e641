// The long run of random device commands: kv32 --headless on a pseudo-terminal, serving a
// temporary folder, with this program as a device that sends the seeded stream of commands with
// names good and bad that the test suite sends a few thousand of. Every command must be answered,
// and after the stream every command must still answer exactly; KV32 must end cleanly.
#include <iostream>

#include "bench/support.h"
#include "tools/kvdev/random_commands.h"

using namespace kv::bench;

int main(int argc, char** argv) {
    Options options("bench_random_commands",
                    "Runs kv32 --headless on a pseudo-terminal in a temporary folder and sends it\n"
                    "a seeded stream of random device commands with names good and bad.\n"
                    "Goals: every command answered, exact answers after the stream, a clean end;\n"
                    "at least 300 commands a second.");
    options.add("commands", "random commands to send", "100000")
        .add("seed", "seed of the stream (the test suite's is 20261208)", "20261208")
        .add("kv32", "the kv32 program", KV32_BINARY);
    options.parse(argc, argv);

    return run([&] {
        const std::size_t commands = options.count("commands");
        if (commands == 0) throw Broken("--commands must be more than 0");
        const auto seed = static_cast<std::uint32_t>(options.count("seed"));

        // The reference: as many one-byte request and answer exchanges over a bare pair.
        const double bare = bare_pty_exchange(commands, 1);

        Kv32Run kv(options.text("kv32"));
        kv.wait_started();
        kv::dev::RandomCommands stream(seed);
        std::size_t answered = 0;
        const auto start = Clock::now();
        try {
            for (std::size_t i = 0; i < commands; ++i) {
                // The log goes to a pipe: read it as the stream goes, or KV32 waits on it.
                if (i % 64 == 0) kv.process().out();
                if (stream.send_next(kv.device()).answered) ++answered;
            }
        } catch (const kv::dev::ProtocolError& e) {
            throw Broken("command " + std::to_string(stream.sent() - 1) + ": " + e.what());
        }
        const double seconds = seconds_since(start);
        kv.process().out();
        const std::string exact = kv::dev::exact_round(kv.device());
        kv.stop();

        const double n = static_cast<double>(commands);
        heading(grouped(n) + " random commands, seed " + std::to_string(seed));
        figure("time", fixed(seconds, 1) + " s");
        figure("commands per second", grouped(n / seconds));
        figure("answered", grouped(static_cast<double>(answered)));
        figure("reference: exchanges over a bare pair", grouped(n / bare) + " per second");
        figure("ratio KV32 / reference", ratio(bare / seconds));
        figure("answers after the stream", exact.empty() ? "exact" : exact);
        bool met = goal("every command answered", answered == commands);
        met &= goal("exact answers after, clean end", exact.empty());
        met &= goal("at least 300 commands a second", n / seconds >= 300);
        heading(met ? "All goals met." : "Some goals missed.");
        return 0;
    });
}
