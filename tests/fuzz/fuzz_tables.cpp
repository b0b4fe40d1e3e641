// libFuzzer target over the readers of tables, memo files and index bags: the input is split into
// a table, a memo file and a bag, which are opened, walked and checked. Damage must end in an
// error record, never in a crash or a sanitizer report.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "db/dbf_table.h"
#include "db/index_orders.h"
#include "util/error_record.h"

namespace {

// A folder of its own under TMPDIR (scripts/fuzz.sh points it into the build folder).
std::string folder() {
    static const std::string made = [] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/kvfuzzXXXXXX";
        const char* dir = ::mkdtemp(pattern.data());
        if (dir == nullptr) std::abort();
        return std::string(dir) + "/";
    }();
    return made;
}

void put(const std::string& name, const std::string& bytes) {
    std::ofstream(folder() + name, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Two 16-bit lengths, then the table, the memo file and the bag.
    if (size < 4) return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t table_length = std::min<std::size_t>((data[0] | data[1] << 8), size - 4);
    const std::size_t memo_length =
        std::min<std::size_t>((data[2] | data[3] << 8), size - 4 - table_length);
    put("F.DBF", input.substr(4, table_length));
    put("F.DBT", input.substr(4 + table_length, memo_length));
    put("F.NTX", input.substr(4 + table_length + memo_length));
    kv::util::ScopedErrorHandler quiet(
        [](const kv::util::ErrorRecord&) -> kv::util::ErrorAnswer { return std::nullopt; });
    try {
        auto table = kv::db::Table::open(folder() + "F.DBF", kv::db::OpenOptions{true, true, {}});
        if (!table) return 0;
        int steps = 0;
        for (table->go_top(); !table->eof() && steps < 200; table->skip(), ++steps) {
            for (int i = 0; i < table->field_count(); ++i) table->get(i);
        }
        kv::db::IndexOrders& orders = kv::db::index_orders(*table);
        if (orders.open_bag(folder() + "F.NTX")) {
            orders.check();
            for (int n = 1; n <= orders.count(); ++n) {
                orders.set_current(n);
                steps = 0;
                for (table->go_top(); !table->eof() && steps < 200; table->skip(), ++steps) {
                }
                orders.key_count();
                table->seek(kv::db::Value(std::string("A")), true);
            }
        }
    } catch (const kv::util::UnhandledError&) {
    } catch (const std::exception&) {
        // Expression faults in a damaged tag's key text are reported as exceptions.
    }
    return 0;
}
