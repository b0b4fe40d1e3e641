// The disk commands end to end: kv32 --headless on a pseudo-terminal, serving a temporary folder,
// with this program as the device. Save and Load of a 65,535-byte file against the same bytes
// over a bare pseudo-terminal; Catalogue and Erase of a folder of stored files against reading
// and deleting the same files directly.
#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>

#include "bench/support.h"
#include "tools/kvdev/commands.h"

using namespace kv::bench;
namespace fsys = std::filesystem;

namespace {

constexpr std::size_t kHeaderSize = 13;
constexpr std::size_t kLineSize = 32;

std::string stored_file(std::uint8_t type, std::uint16_t param1, std::uint16_t param2,
                        const std::string& data) {
    std::string bytes = "KVFILE";
    bytes += static_cast<char>(type);
    for (std::uint16_t n : {param1, static_cast<std::uint16_t>(data.size()), param2}) {
        bytes += static_cast<char>(n & 0xFF);
        bytes += static_cast<char>(n >> 8);
    }
    return bytes + data;
}

// Writes `count` stored files, programs and code files by turns, straight into `folder`.
void fill_folder(const fsys::path& folder, std::size_t count) {
    fsys::create_directories(folder);
    const std::string data = stream_bytes(100, 7);
    for (std::size_t i = 0; i < count; ++i) {
        const bool program = i % 2 == 0;
        std::string name = "F";
        name += std::to_string(10000 + i);
        std::ofstream out(folder / name, std::ios::binary);
        out << stored_file(program ? 0 : 3, program ? 0 : 32768, program ? 10 : 0, data);
        if (!out) throw Broken("cannot write the stored files in " + folder.string());
    }
}

std::size_t files_in(const fsys::path& folder) {
    return static_cast<std::size_t>(std::count_if(
        fsys::directory_iterator(folder), {}, [](const auto& e) { return e.is_regular_file(); }));
}

// What the catalogue does for each file, with nothing around it: list the folder, open each
// file and read its header.
double read_headers_directly(const fsys::path& folder) {
    const auto start = Clock::now();
    std::size_t stored = 0;
    for (const auto& entry : fsys::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string header(kHeaderSize, '\0');
        if (in.read(header.data(), kHeaderSize) && header.compare(0, 6, "KVFILE") == 0) ++stored;
    }
    return stored == 0 ? 0 : seconds_since(start);
}

double delete_directly(const fsys::path& folder) {
    const auto start = Clock::now();
    for (const auto& entry : fsys::directory_iterator(folder)) fsys::remove(entry.path());
    return seconds_since(start);
}

std::string cpu_time(double seconds) {
    if (seconds < cpu_tick_seconds() / 2)
        return "under " + fixed(cpu_tick_seconds() * 1000, 0) + " ms";
    return fixed(seconds * 1000, 0) + " ms";
}

std::string per_file(double seconds, std::size_t files) {
    return fixed(seconds / static_cast<double>(files) * 1e6, 1) + " us per file";
}

class DiskBench {
  public:
    DiskBench(const Options& options) : kv_(options.text("kv32")) { kv_.wait_started(); }

    void save_and_load(std::size_t size, std::size_t rounds) {
        const std::string data = stream_bytes(size, 3);
        Timed save, load;
        double bare_in = 1e9, bare_out = 1e9;
        for (std::size_t i = 0; i < rounds; ++i) {
            const std::string name = "BIG" + std::to_string(i);
            save.keep_best(timed([&] { save_synchronously(name, data); }));
            if (fsys::file_size(kv_.folder() / name) != kHeaderSize + data.size())
                throw Broken("the stored file " + name + " has the wrong size");
            kv::dev::LoadResult loaded;
            load.keep_best(timed([&] { loaded = kv::dev::load(dev(), name); }));
            if (loaded.status != kv::dev::kOk || loaded.data != data)
                throw Broken("Load " + name + " did not give back what was saved");
            bare_in = std::min(bare_in, bare_pty_transfer(data, Direction::kMasterToSlave));
            bare_out = std::min(bare_out, bare_pty_transfer(data, Direction::kSlaveToMaster));
        }
        const double n = static_cast<double>(size);
        heading("Save and Load of a " + grouped(n) + "-byte file, best of " +
                std::to_string(rounds) + " rounds");
        report_transfer("Save (device to disk)", "in", n, save, bare_in);
        report_transfer("Load (disk to device)", "out", n, load, bare_out);
        met_ &= goal("Save at least 100 x the line rate", n / save.seconds >= 100 * kLineRate);
        met_ &= goal("Load at least 100 x the line rate", n / load.seconds >= 100 * kLineRate);
    }

    void catalogue_and_erase(std::size_t files, std::size_t rounds) {
        const fsys::path folder = kv_.folder() / "CAT";
        fsys::create_directories(folder);
        if (kv::dev::change_folder(dev(), "CAT") != kv::dev::kOk)
            throw Broken("Load CAT/ was refused");
        // Creating thousands of files is slow on some file systems, so one set serves every
        // Catalogue round and the Erase, and a second one the direct deletion.
        fill_folder(folder, files);
        Timed catalogue;
        double exchange = 1e9, direct_read = 1e9;
        std::size_t lines = 0;
        for (std::size_t i = 0; i < rounds; ++i) {
            kv::dev::Catalogue listing;
            catalogue.keep_best(timed([&] { listing = kv::dev::catalogue(dev(), ""); }));
            check_count_line(listing, files);
            lines = listing.lines.size();
            direct_read = std::min(direct_read, read_headers_directly(folder));
            exchange = std::min(exchange, bare_pty_exchange(lines, kLineSize));
        }
        const Timed erase = timed([&] {
            if (kv::dev::erase(dev(), "*") != kv::dev::kOk) throw Broken("Erase * was refused");
        });
        if (files_in(folder) != 0) throw Broken("Erase * left stored files behind");
        fill_folder(folder, files);
        const double direct_delete = delete_directly(folder);

        heading("Catalogue and Erase of " + grouped(static_cast<double>(files)) +
                " stored files, Catalogue best of " + std::to_string(rounds) + " rounds");
        figure("Catalogue (" + std::to_string(lines) + " lines, each acknowledged)",
               fixed(catalogue.seconds, 3) + " s, " + per_file(catalogue.seconds, files));
        figure("  kv32's processor time meanwhile", cpu_time(catalogue.cpu));
        figure("reference: the same lines, bare",
               fixed(exchange, 3) + " s, " + per_file(exchange, files));
        figure("reference: read the headers directly",
               fixed(direct_read, 3) + " s, " + per_file(direct_read, files));
        figure("ratio Catalogue / (bare lines + headers)",
               ratio(catalogue.seconds / (exchange + direct_read)));
        figure("Erase *", fixed(erase.seconds, 3) + " s, " + per_file(erase.seconds, files));
        figure("  kv32's processor time meanwhile", cpu_time(erase.cpu));
        figure("reference: delete the files directly",
               fixed(direct_delete, 3) + " s, " + per_file(direct_delete, files));
        figure("ratio Erase / reference", ratio(erase.seconds / direct_delete));
        met_ &= goal("Catalogue of " + std::to_string(files) + " files under 0.5 s",
                     catalogue.seconds < 0.5);
    }

    bool all_met() const { return met_; }
    void stop() { kv_.stop(); }

  private:
    // Wall time and kv32's processor time of one command; the best (shortest) of several kept.
    struct Timed {
        double seconds = 1e9;
        double cpu = 0;
        void keep_best(const Timed& other) {
            if (other.seconds < seconds) *this = other;
        }
    };

    Timed timed(const std::function<void()>& command) {
        const int pid = kv_.process().pid();
        const double cpu = process_cpu_seconds(pid);
        const auto start = Clock::now();
        command();
        return {seconds_since(start), process_cpu_seconds(pid) - cpu};
    }

    static void check_count_line(const kv::dev::Catalogue& listing, std::size_t files) {
        const std::string expected = std::to_string(files) + " File(s)";
        if (listing.lines.empty() || listing.lines.back().rfind(expected, 0) != 0)
            throw Broken("the catalogue did not end with \"" + expected + "\"");
    }

    kv::dev::DeviceLink& dev() { return kv_.device(); }

    // Until the file is on disk: the answer to a later command (an Erase of no name, refused at
    // once) shows that the PC has finished writing it.
    void save_synchronously(const std::string& name, const std::string& data) {
        if (kv::dev::save(dev(), name, data) != kv::dev::kOk)
            throw Broken("Save " + name + " was refused");
        if (kv::dev::erase(dev(), "") != kv::dev::kRefused)
            throw Broken("an empty Erase was not refused");
    }

    static void report_transfer(const std::string& what, const std::string& direction, double bytes,
                                const Timed& kv32, double bare) {
        figure(what, bytes_per_second(bytes, kv32.seconds) + " (" + fixed(kv32.seconds * 1000, 1) +
                         " ms)");
        figure("  kv32's processor time meanwhile", cpu_time(kv32.cpu));
        figure("reference: bare pseudo-terminal, " + direction, bytes_per_second(bytes, bare));
        figure("ratio KV32 / reference", ratio(bare / kv32.seconds));
        figure("against the line rate", line_rate_multiple(bytes, kv32.seconds));
    }

    Kv32Run kv_;
    bool met_ = true;
};

}  // namespace

int main(int argc, char** argv) {
    Options options("bench_disk_commands",
                    "Runs kv32 --headless on a pseudo-terminal in a temporary folder and times\n"
                    "Save, Load, Catalogue and Erase as the device sees them.\n"
                    "Goals: Save and Load at least 100 x the line rate of 5,760 bytes/s;\n"
                    "Catalogue of 2,000 stored files under 0.5 s.");
    options.add("bytes", "size of the saved and loaded file (at most 65535)", "65535")
        .add("rounds", "rounds of each measurement; the best counts", "5")
        .add("files", "stored files for Catalogue and Erase", "2000")
        .add("kv32", "the kv32 program", KV32_BINARY);
    options.parse(argc, argv);

    return run([&] {
        const std::size_t size = options.count("bytes");
        const std::size_t files = options.count("files");
        if (size == 0 || size > 65535) throw Broken("--bytes must be from 1 to 65535");
        if (files == 0) throw Broken("--files must be more than 0");
        DiskBench bench(options);
        const std::size_t rounds = std::max<std::size_t>(options.count("rounds"), 1);
        bench.save_and_load(size, rounds);
        bench.catalogue_and_erase(files, rounds);
        bench.stop();
        heading(bench.all_met() ? "All goals met." : "Some goals missed.");
        return 0;
    });
}
