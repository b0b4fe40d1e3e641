// DBSETVIEW over a table of 100,000 records with a filter, built here: its time against a plain
// build of an order on the same key over the same records.
#include <iostream>

#include "bench/support.h"
#include "db/dbf_table.h"
#include "db/index_orders.h"
#include "db/work_areas.h"
#include "tables/tables.h"

using namespace kv::bench;

namespace {

void make_table(long records) {
    if (!kv::db::Table::create("T.DBF", {{"NAME", 'C', 10, 0}, {"QTY", 'N', 8, 0}})) {
        throw Broken("cannot create the table");
    }
    auto table = kv::db::Table::open("T.DBF");
    std::uint32_t seed = 12345;
    for (long r = 0; r < records; ++r) {
        seed = seed * 1103515245u + 12345u;
        std::string name(10, ' ');
        for (int i = 0; i < 10; ++i) name[i] = static_cast<char>('A' + (seed >> (i * 3) & 15));
        if (!table->append() || !table->put("NAME", name) ||
            !table->put("QTY", static_cast<double>(seed % 100)) || !table->commit()) {
            throw Broken("cannot append");
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    Options options(
        "bench_table_view",
        "Measures DBSETVIEW with a filter over a table built here, against building an\n"
        "order on the same key without a filter.");
    options.add("records", "records in the table", "100000");
    options.parse(argc, argv);
    return run_in_temp_folder(argc, argv, [&] {
        const long records = static_cast<long>(options.count("records"));
        make_table(records);
        kv::db::DBOPEN(false, "", "T", "", false);
        kv::db::Table& table = *kv::db::work_areas().table();

        auto start = Clock::now();
        kv::db::ORDBUILD("PLAIN", "NAME", "NAME", {}, false);
        const double plain = seconds_since(start);
        const long plain_keys = kv::db::TOTREC(false);

        const int qty = *table.field_index("QTY");
        kv::db::ViewOptions view;
        view.filter = [&] { return std::get<double>(table.get(qty)) >= 50; };
        view.filter_text = "QTY >= 50";
        view.key = "NAME";
        view.quiet = true;
        start = Clock::now();
        kv::db::DBSETVIEW(view);
        const double viewed = seconds_since(start);
        const long view_keys = kv::db::TOTREC(false);

        std::cout << "A view over " << grouped(static_cast<double>(records)) << " records\n";
        figure("DBSETVIEW, filter QTY >= 50",
               fixed(viewed, 3) + " s, " + grouped(static_cast<double>(view_keys)) + " keys");
        figure("reference: order on NAME, no filter",
               fixed(plain, 3) + " s, " + grouped(static_cast<double>(plain_keys)) + " keys");
        figure("ratio DBSETVIEW / reference", ratio(viewed / plain));
        kv::db::work_areas().close_all();
        return 0;
    });
}
