// price_list: a small program on KV32's library, to read before writing one's own.
//
// It keeps a price list in the shared table PREZZI.DBF of the current folder: it logs in, adds
// three articles, asks for a fourth in a dialog, raises every price, lists the dear ones through
// a view, prints the list (shown in the preview first) and ends. Several copies may run in the
// same folder at once: the table is opened shared and every change is made under a lock.
//
//     price_list          the dialog and the preview wait for the user
//     price_list --auto   both are answered at once (unattended runs, the offscreen platform)
#include <kv32/db/language.h>
#include <kv32/db/work_areas.h>
#include <kv32/errors/errors.h>
#include <kv32/gui/controls.h>
#include <kv32/gui/dialog.h>
#include <kv32/gui/run_mode.h>
#include <kv32/tables/login.h>
#include <kv32/util/dialogs.h>
#include <kv32/util/startup.h>
#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <string>

#include "price_table.h"

namespace {

// A dialog with two fields, checked by the library's close rule before it may close with OK.
bool ask_article(std::string& name, double& price, bool auto_confirm) {
    kv::gui::Dialog dialog("Nuovo articolo");
    dialog.set_size(320, 140);
    dialog.add<kv::gui::Say>("Nome:").at(10, 12, 80, 22);
    auto& name_field = dialog.add<kv::gui::Get>(kv::gui::text_variable(name), "", 101);
    name_field.at(100, 10, 200, 24);
    name_field.valid = [&name_field](kv::gui::Control&) {  // a name is needed
        return name_field.text().find_first_not_of(' ') != std::string::npos;
    };
    dialog.add<kv::gui::Say>("Prezzo:").at(10, 46, 80, 22);
    dialog.add<kv::gui::Get>(kv::gui::number_variable(price), "999999.99", 102)
        .at(100, 44, 100, 24);
    auto& ok = kv::gui::add_confirm_button(dialog, "&Conferma", 201);
    ok.at(100, 90, 90, 28);
    kv::gui::add_cancel_button(dialog, "&Annulla", 202).at(200, 90, 90, 28);
    dialog.set_close_rule([&dialog] { return kv::util::VALID_(dialog, true); });
    if (auto_confirm) {
        QTimer::singleShot(300, [&ok] { qobject_cast<QAbstractButton*>(ok.widget())->click(); });
    }
    return dialog.activate() == 1;
}

// What the program does between the library's start-up and its end.
int price_list_main(bool auto_answer) {
    kv::db::USER();  // an anonymous login: the login folder and the system lock are there
    price_list::open_prices();

    price_list::append_article("Bulloni", 4.5);
    price_list::append_article("Chiavi inglesi", 18);
    price_list::append_article("Martello", 12.9);
    std::string name = "Pinza";
    double price = 9.75;
    if (ask_article(name, price, auto_answer)) price_list::append_article(name, price);
    std::printf("%ld articles\n", kv::db::work_areas().table()->record_count());

    price_list::raise_prices(10);
    std::printf("dearer than 10.00:\n");
    std::printf("%d articles through the view\n", price_list::count_dearer_than(10));
    price_list::print_prices(auto_answer);

    // A run-time error that the error handler absorbs: a division by zero gives 0 and goes on.
    kv::db::Table& table = *kv::db::work_areas().table();
    const auto expression = kv::db::Expression::compile("PREZZO / 0", table);
    std::printf("PREZZO / 0 gives %g\n", std::get<double>(expression.evaluate(table)));
    return 0;  // run_program then runs EXIT_: tables closed, view indexes and login folder gone
}

}  // namespace

int main(int argc, char** argv) {
    const bool auto_answer = argc > 1 && std::strcmp(argv[1], "--auto") == 0;
    // The application object first: windows on a display, or on QT_QPA_PLATFORM=offscreen.
    auto app = kv::gui::create_application(argc, argv, false);
    // The run-time error handler, installed before the library's start-up (INIT_).
    kv::util::set_error_handler_installer(kv::errors::ERRORSYS);
    // INIT_, the program, then EXIT_ (also when the program throws or quits).
    return kv::util::run_program([auto_answer] { return price_list_main(auto_answer); });
}
