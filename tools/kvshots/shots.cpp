#include "tools/kvshots/shots.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <optional>

#include "core/main_procedure.h"
#include "core/progress.h"
#include "gui/controls.h"
#include "gui/dialog.h"
#include "gui/main_window.h"
#include "gui/status_window.h"
#include "util/dialogs.h"
#include "util/msgbox.h"
#include "util/status_popup.h"

namespace kv::shots {
namespace {

// The main window while a device saves a file: a log of a few commands, and the progress of the
// Save in the status line, reported as the handlers report it.
QImage main_window_transfer() {
    auto window = gui::create_main_window(core::window_title("ttyUSB0"), 500, 500);
    window->set_settings_handler([] {});
    window->set_status("Cartella servita: /home/anna/KV32");
    core::ScopedProgressSink sink(core::window_progress_sink(*window));
    std::optional<core::Progress> save;
    QImage image;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* shown = window->widget();
        if (!shown || !shown->isVisible()) return;
        poll.stop();
        image = grab_window(*shown);
        save.reset();
        window->request_close();
    });
    poll.start();
    window->activate([&] {
        for (const char* line :
             {"Waiting command (ESC to exit)...", "Listing...", "Waiting command (ESC to exit)...",
              "Loading...", "Waiting command (ESC to exit)...", "Saving..."})
            window->log_pane().append_line(line);
        save.emplace("Saving HELLO", 3000);
        save->advance(1024);
    });
    return image;
}

QImage status_popup_image() {
    util::TMsgBox* popup = util::status_popup();
    QImage image;
    if (popup && popup->dialog()) image = grab_window(*popup->dialog()->dialog());
    util::POPMSG();
    return image;
}

QImage status_waiting() {
    const std::string text = "Sto copiando i file nella cartella GIOCHI...";
    util::POPMSG({.text = text, .range_low = 0, .range_high = 10});
    util::POPMSG({.text = text, .position = 3});
    return status_popup_image();
}

QImage status_printing() {
    util::POPMSG({.print = true});
    for (int page = 0; page < 3; ++page) util::POPMSG({.next_page = true});
    return status_popup_image();
}

QImage discard_question() {
    return grab_modal([] { util::POPMSG("Annullo le modifiche?", 5); });
}

QImage one_line_question() {
    return grab_modal([] {
        std::string name = "GIOCHI";
        util::MSGGET("Nuova cartella", "Nome della cartella da creare:", name);
    });
}

// A data-entry dialog of the library (texts in Windows-1252): fields with a picture, a date, a
// choice, a folder of pages and the confirm and cancel buttons under the close rule.
QImage entry_dialog() {
    std::string name = "Rossi Mario";
    std::string town = "Bologna";
    std::string notes = "Ritira i dischetti il marted\xEC.";
    double amount = 1250.5;
    util::Date since = util::Date::of(2024, 3, 15);
    gui::Dialog dialog("Scheda cliente");
    dialog.set_size(420, 300);
    auto& folder = dialog.add<gui::Folder>(std::vector<std::string>{"&Generale", "&Note"}, 100);
    folder.at(10, 10, 400, 236);
    gui::FolderPage& main = folder.page(1);
    main.add<gui::Say>("Nome:", 101).at(10, 14, 90, 22);
    main.add<gui::Get>(gui::text_variable(name), "", 102).at(100, 12, 280, 24);
    main.add<gui::Say>("Citt\xE0:", 103).at(10, 48, 90, 22);
    main.add<gui::ComboBox>(gui::text_variable(town),
                            std::vector<std::string>{"Bologna", "Modena", "Parma"}, 104)
        .at(100, 46, 180, 26);
    main.add<gui::Say>("Cliente dal:", 105).at(10, 84, 90, 22);
    main.add<gui::Get>(util::date_variable(since), "", 106).at(100, 82, 110, 24);
    main.add<gui::Say>("Fido:", 107).at(10, 118, 90, 22);
    main.add<gui::Get>(gui::number_variable(amount), "999,999.99", 108).at(100, 116, 110, 24);
    folder.page(2).add<gui::MultiGet>(gui::text_variable(notes), 110).at(10, 12, 370, 170);
    gui::add_confirm_button(dialog, "&Conferma", 201).at(10, 258, 90, 28);
    gui::add_cancel_button(dialog, "&Annulla", 202).at(106, 258, 90, 28);
    dialog.set_close_rule([&dialog] { return util::VALID_(dialog, false); });
    return grab_modal([&dialog] { dialog.activate(); });
}

}  // namespace

const std::vector<Shot>& shots() {
    static const std::vector<Shot> all = [] {
        // The message boxes of the port failure come first, the login and printing windows last.
        std::vector<Shot> list = more_shots();
        list.insert(list.begin(),
                    {"main-window-transfer", "the main window while a device saves a file",
                     main_window_transfer});
        const std::vector<Shot> middle{
            {"message-question", "message box: a question (\"Annullo le modifiche?\")",
             discard_question},
            {"status-waiting", "status pop-up: waiting, with its progress bar", status_waiting},
            {"status-printing", "status pop-up: the page counter of printing", status_printing},
            {"dialog-question", "dialog: one line of text asked (MSGGET)", one_line_question},
            {"dialog-entry", "dialog: a data-entry form with a folder of pages", entry_dialog},
        };
        list.insert(list.begin() + 3, middle.begin(), middle.end());
        list.insert(list.begin() + 1, file_shots().begin(), file_shots().end());
        return list;
    }();
    return all;
}

const Shot* find_shot(const std::string& name) {
    for (const auto& shot : shots())
        if (shot.name == name) return &shot;
    return nullptr;
}

}  // namespace kv::shots
