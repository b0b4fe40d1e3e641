// The price list's table: a shared table with its bag, records appended and changed under locks,
// a view, and the printed list.
#include "price_table.h"

#include <kv32/db/work_areas.h>
#include <kv32/gui/run_mode.h>
#include <kv32/platform/files.h>
#include <kv32/printing/printer.h>
#include <kv32/tables/tables.h>
#include <QTimer>
#include <cstdio>
#include <string>

namespace price_list {

using kv::db::Value;

namespace {

constexpr const char* kTable = "PREZZI";

// The table of the current work area (the one DBOPEN opened).
kv::db::Table& current() {
    return *kv::db::work_areas().table();
}

std::string trimmed(const Value& value) {
    std::string text = std::get<std::string>(value);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

}  // namespace

void open_prices() {
    if (!kv::platform::file_exists("PREZZI.DBF")) {
        // DBGEN checks first that the folder has room for the new table.
        kv::db::DBGEN(kTable, {{"CODICE", 'C', 10, 0},
                               {"NOME", 'C', 20, 0},
                               {"PREZZO", 'N', 10, 2},
                               {"NOTE", 'M', 10, 0}});
    }
    // Opening waits, with a pop-up saying why, while another copy holds the table exclusively.
    kv::db::DBOPEN(false, "", kTable, "", true);
    if (kv::platform::file_exists("PREZZI.NTX")) {
        kv::db::ORDADD(kTable);
    } else {
        kv::db::ORDBUILD(kTable, "NOME", "UPPER(NOME)");
    }
}

void append_article(const std::string& name, double price) {
    const std::string code = kv::db::NEXTCODE(false);
    kv::db::DBAPP();  // a blank record, appended and locked
    kv::db::Table& table = current();
    table.put("CODICE", code);
    table.put("NOME", name);
    table.put("PREZZO", price);
    table.put("NOTE", "added by price_list");
    table.commit();
    table.unlock();
}

void raise_prices(double percent) {
    kv::db::Table& table = current();
    for (table.go_top(); !table.eof(); table.skip()) {
        kv::db::DBLOCK(true);  // the record lock; waits while another copy holds it
        const double price = std::get<double>(table.get("PREZZO"));
        table.put("PREZZO", price * (100 + percent) / 100);
        table.commit();
        table.unlock(table.record_number());
    }
}

int count_dearer_than(double price) {
    kv::db::Table& table = current();
    kv::db::ViewOptions view;
    view.filter = [&table, price] { return std::get<double>(table.get("PREZZO")) > price; };
    view.filter_text = "PREZZO > " + std::to_string(price);
    view.quiet = true;
    kv::db::DBSETVIEW(view);  // a temporary index of the records that pass the filter
    int count = 0;
    for (table.go_top(); !table.eof(); table.skip()) {
        std::printf("  %s %.2f\n", trimmed(table.get("NOME")).c_str(),
                    std::get<double>(table.get("PREZZO")));
        ++count;
    }
    kv::db::DBCLEARVIEW();  // back to the order that was saved (NOME)
    return count;
}

void print_prices(bool unattended) {
    kv::printing::PrinterOptions options;
    options.document = "Listino prezzi";
    options.preview = true;
    options.record_without_printer = true;  // a preview (and a PDF) even with no printer
    // Unattended, no printer is looked for (a missing one would be told in a box): A4 pages.
    options.fallback_page_only = unattended;
    kv::printing::TPrinter printer(options);
    kv::db::Table& table = current();
    printer.StartPage();
    printer.SayHeader("LISTINO PREZZI");
    double row_cm = 3;
    for (table.go_top(); !table.eof(); table.skip(), row_cm += 0.6) {
        printer.CmSay(row_cm, 2, trimmed(table.get("NOME")));
        char price[32];
        std::snprintf(price, sizeof price, "%.2f", std::get<double>(table.get("PREZZO")));
        printer.CmSay(row_cm, 12, price, nullptr, {}, 0, 1, kv::printing::Align::Right);
    }
    printer.SayFooter();
    printer.EndPage();
    std::printf("printed %d page(s)\n", printer.nPage - 1);
    // The preview is modal: unattended, it is closed as soon as it is up.
    if (unattended) QTimer::singleShot(300, [] { kv::gui::close_modal_windows(); });
    printer.Preview();  // the user prints from here, or saves a PDF
    printer.End();
}

}  // namespace price_list
