// The message boxes of a port failure and the windows of the login and of printing.
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>

#include "gui/login_dialog.h"
#include "gui/settings_dialog.h"
#include "platform/serial_diagnosis.h"
#include "printing/font.h"
#include "printing/preview_window.h"
#include "printing/print_dialog.h"
#include "printing/print_text.h"
#include "printing/printer.h"
#include "printing/printers.h"
#include "tools/kvshots/shots.h"
#include "util/msgbox.h"

namespace kv::shots {
namespace {

// Printers as an office has them; none of them is ever printed on.
class SamplePrinters : public printing::PrinterDirectory {
  public:
    SamplePrinters() : previous_(&printing::printers()) { printing::set_printers(this); }
    ~SamplePrinters() override { printing::set_printers(previous_); }
    SamplePrinters(const SamplePrinters&) = delete;
    SamplePrinters& operator=(const SamplePrinters&) = delete;
    std::vector<std::string> names() override { return {"Ufficio", "Magazzino", "PDF"}; }
    std::string default_name() override { return "Ufficio"; }
    std::unique_ptr<QPrinter> open(const std::string&) override { return nullptr; }

  private:
    printing::PrinterDirectory* previous_;
};

// A price list of two pages, recorded on the page used without a printer.
std::unique_ptr<printing::TPrinter> sample_document() {
    printing::ScopedPrintPosition position;
    printing::PrinterOptions options;
    options.document = "Listino prezzi";
    options.preview = true;
    options.fallback_page_only = true;
    auto device = std::make_unique<printing::TPrinter>(options);
    printing::TFont body("Courier New", 0, 11, *device);
    printing::TFont title("Arial", 0, 14, *device, true);
    const char* rows[][3] = {{"001", "Dischetto 3,5\" (10 pezzi)", "12,50"},
                             {"002", "Cavo seriale 9 poli", "7,90"},
                             {"003", "Adattatore USB-seriale", "18,00"},
                             {"004", "Cassetta dati 60 minuti", "4,20"},
                             {"005", "Manuale d'uso", "25,00"}};
    // One text: on the next line (no column) or on the same row at a column, or centred on the
    // page. The prices are blank-padded to the right in the fixed-width font.
    auto say = [&device](const std::string& text, const printing::TFont& font,
                         std::optional<double> column = {}, bool centre = false) {
        printing::TextOptions options;
        options.font = &font;
        options.column = column;
        options.centre = centre;
        printing::PRINTTXT({text}, *device, options);
    };
    for (int page = 1; page <= 2; ++page) {
        device->StartPage();
        printing::SETPROW(0);
        device->SayHeader("LISTINO PREZZI", &body);
        say("", body);
        say("Articoli per l'ufficio", title, {}, true);
        say("", body);
        for (const auto& row : rows) {
            say(row[0], body);
            say(row[1], body, 10);
            say(std::string(8 - std::strlen(row[2]), ' ') + row[2], body, 60);
        }
        printing::SETPROW(63 * device->nVertRes() / 66);
        say("- " + std::to_string(page) + " -", body, {}, true);
        device->EndPage();
    }
    return device;
}

QImage login(bool with_password) {
    gui::LoginDialogFields fields;
    fields.with_password = with_password;
    fields.id = "ROSSI";
    if (with_password) fields.password = "segreto";
    return grab_modal([&fields] { gui::show_login_dialog(fields); });
}

QImage preview() {
    SamplePrinters printers;
    auto device = sample_document();
    QImage image;
    {
        printing::TPreview window(*device, false);
        window.resize(800, 600);
        window.show();
        window.Resize();
        image = grab_window(window);
        window.hide();
    }
    device->End();
    return image;
}

QImage print_dialog() {
    SamplePrinters printers;
    printing::PrintDialog dialog(nullptr, "Ufficio", 1, 2);
    return grab_modal([&dialog] { dialog.exec(); });
}

// The port that cannot be opened: the box as it comes up, or with its details shown; its
// button Impostazioni... opens the settings dialog.
QImage port_failure(bool details_shown) {
    const std::string port = "COM3";
    return grab_modal(
        [&port] {
            util::popmsg_offering("Errore di apertura della porta di comunicazione (" + port + ").",
                                  platform::open_failure_details(port, EIO), "Impostazioni...");
        },
        [details_shown](QWidget& modal) {
            auto* box = qobject_cast<QMessageBox*>(&modal);
            if (!box || !details_shown) return;
            for (auto* button : box->buttons())
                if (box->buttonRole(button) == QMessageBox::ActionRole &&
                    button->text() != "Impostazioni...")
                    button->click();
        });
}

// The served folder that cannot be used (a USB stick that is not mounted): the box says why,
// and its button Impostazioni... opens the settings dialog.
QImage folder_failure() {
    return grab_modal([] {
        util::popmsg_offering(
            "Errore di accesso alla cartella servita (/media/anna/CHIAVETTA/giochi).;"
            "La cartella non esiste (non c'\xE8 /media/anna/CHIAVETTA).",
            "", "Impostazioni...");
    });
}

std::vector<gui::PortChoice> sample_ports() {
    return std::vector<gui::PortChoice>{
        {"COM1", "/dev/ttyS0", "porta seriale (0x3F8, UART di tipo 4)", true, ""},
        {"ttyUSB0", "/dev/ttyUSB0",
         "adattatore seriale USB: FTDI FT232R USB UART; "
         "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
         true, "in uso da KV32"},
        {"ttyACM0", "/dev/ttyACM0", "modem o scheda USB: Arduino Uno", false,
         "non si apre: \xE8 in uso da parte di processo 2417 (minicom)"}};
}

// The settings dialog refusing a folder it cannot serve (a file where a folder should be): OK
// was pressed, and the reason shows beside the field.
QImage settings_refusing_folder() {
    QTemporaryDir scratch;
    const std::string not_a_folder = scratch.path().toStdString() + "/giochi.zip";
    std::ofstream(not_a_folder) << "PK";
    return grab_modal(
        [&not_a_folder] {
            gui::run_settings_dialog({"ttyUSB0", not_a_folder, false}, sample_ports);
        },
        [](QWidget& dialog) {
            if (auto* buttons = dialog.findChild<QDialogButtonBox*>())
                buttons->button(QDialogButtonBox::Ok)->click();
        });
}

// The settings dialog with the serial devices of a typical machine.
QImage settings_dialog() {
    return grab_modal([] {
        gui::run_settings_dialog({"ttyUSB0", "/home/anna/KV32", true}, sample_ports);
    });
}

}  // namespace

const std::vector<Shot>& more_shots() {
    static const std::vector<Shot> all{
        {"message-port", "message box: the port cannot be opened",
         [] { return port_failure(false); }},
        {"message-details", "message box: the same with its details shown",
         [] { return port_failure(true); }},
        {"settings-dialog", "the settings dialog \"Impostazioni\"", settings_dialog},
        {"message-folder", "message box: the served folder cannot be used", folder_failure},
        {"settings-folder-refused", "the settings dialog refusing a folder it cannot serve",
         settings_refusing_folder},
        {"login-user", "login dialog: the user id (UTENTE)", [] { return login(false); }},
        {"login-password", "login dialog: user id and password (UTENTE2)",
         [] { return login(true); }},
        {"print-preview", "print preview of a two-page document", preview},
        {"print-dialog", "the preview's \"Stampa\" dialog", print_dialog},
    };
    return all;
}

}  // namespace kv::shots
