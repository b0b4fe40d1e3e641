#include "tools/kvdev/random_commands.h"

#include <vector>

namespace kv::dev {
namespace {

const std::vector<std::string>& names() {
    static const std::vector<std::string> all = {"A",
                                                 "b",
                                                 "PROG",
                                                 "D1/X",
                                                 "d1/y",
                                                 "",
                                                 "A*",
                                                 "?",
                                                 "/",
                                                 "..",
                                                 "X/..",
                                                 "..\\..",
                                                 "/./",
                                                 "KV32.INI",
                                                 "\x7FT",
                                                 "D1/",
                                                 "D2/",
                                                 std::string(300, 'N'),
                                                 std::string(5000, 'L'),
                                                 std::string("N\0L", 3),
                                                 "\x81\x9D\x1B[2J"};
    return all;
}

bool is_status(std::uint8_t s) {
    return s == kOk || s == kRefused || s == kBadFolderLength;
}

// The longest pattern a catalogue lists (longer ones are refused before any line).
constexpr std::size_t kLongestPath = 4095;

}  // namespace

RandomCommands::RandomCommands(std::uint32_t seed) : rng_(seed) {}

std::size_t RandomCommands::pick(std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
}

RandomCommands::Sent RandomCommands::send_next(DeviceLink& link, Patience patience) {
    static const char* const kinds[] = {"save",      "mkdir", "load", "erase",
                                        "catalogue", "cd",    "rmdir"};
    const std::string& name = names()[pick(names().size())];
    const std::size_t kind = pick(7);
    Sent s{std::to_string(sent_++) + " (" + kinds[kind] + "): " + name.substr(0, 20), false};
    switch (kind) {
        case 0: {
            std::string data(pick(200), '\0');
            for (auto& c : data) c = static_cast<char>(rng_());
            const FileHeader header{static_cast<std::uint8_t>(pick(4)),
                                    static_cast<std::uint16_t>(rng_()),
                                    static_cast<std::uint16_t>(rng_())};
            s.answered = is_status(save(link, name, data, header, std::nullopt, patience));
            break;
        }
        case 1:
            s.answered = is_status(make_folder(link, name, patience));
            break;
        case 2:
            s.answered = is_status(load(link, name, patience).status);
            break;
        case 3:
            s.answered = is_status(erase(link, name, patience));
            break;
        case 4:
            // A pattern longer than a path is refused with one byte, which a catalogue does not
            // read: it is not sent.
            s.answered =
                name.size() > kLongestPath || !catalogue(link, name, patience).lines.empty();
            break;
        case 5:
            s.answered = is_status(change_folder(link, name, patience));
            break;
        default:
            s.answered = is_status(remove_folder(link, name, patience));
            break;
    }
    return s;
}

std::string exact_round(DeviceLink& link, Patience patience) {
    const std::string name = "ZZEXACT";
    std::string data(256, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(255 - i);
    const FileHeader header{3, 0x1234, 0x5678};
    if (change_folder(link, "/", patience) != kOk) return "cd / was refused";
    erase(link, name, patience);  // one left by an earlier round
    if (save(link, name, data, header, std::nullopt, patience) != kOk)
        return "the Save was refused";
    const LoadResult loaded = load(link, name, patience);
    if (loaded.status != kOk || loaded.type != header.type || loaded.param1 != header.param1 ||
        loaded.length != data.size() || loaded.param2 != header.param2 || loaded.data != data)
        return "the Load did not give back what was saved";
    const Catalogue c = catalogue(link, name, patience);
    const std::string line = "ZZEXACT    CDE 4660,256,22136";
    if (c.lines.size() != 9 || c.lines[3].rfind("/ ", 0) != 0 || c.lines[5].rfind(line, 0) != 0)
        return "the Catalogue did not list the saved file alone at /";
    if (erase(link, name, patience) != kOk) return "the Erase was refused";
    if (load(link, name, patience).status != kRefused) return "the erased file could be loaded";
    return {};
}

}  // namespace kv::dev
