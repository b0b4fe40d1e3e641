#include "core/file_view_dialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <memory>

#include "core/catalogue_lines.h"
#include "gui/key_tracker.h"
#include "gui/text.h"

namespace kv::core {
namespace {

QDialog* new_dialog(QWidget* parent, const char* name, const QString& title) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(name);
    dialog->setWindowTitle(title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    // Esc cancels the dialog and never reaches the command loop.
    dialog->setProperty(gui::kKeysStayInWindow, true);
    return dialog;
}

QLabel* new_reason(QWidget* parent) {
    auto* reason = new QLabel(parent);
    reason->setObjectName(kDialogReasonLabel);
    reason->setWordWrap(true);
    reason->setStyleSheet(QStringLiteral("color: #b00000"));
    return reason;
}

QDialogButtonBox* new_buttons(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Cancel)
        ->setText(QCoreApplication::translate("FileViewDialogs", "Annulla"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QSpinBox* new_number(QWidget* parent, const char* name, int largest, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(name);
    spin->setRange(0, largest);
    spin->setValue(value);
    return spin;
}

// Shows a check's outcome: the reason, and OK only when there is none.
void show_check(QLabel* reason, QDialogButtonBox* buttons, const DeskResult& result) {
    reason->setText(fault_text(result));
    reason->setVisible(!result.ok());
    buttons->button(QDialogButtonBox::Ok)->setEnabled(result.ok());
}

}  // namespace

QString fault_text(const DeskResult& r) {
    const QString detail = gui::from_ansi(r.detail);
    switch (r.fault) {
        case DeskFault::None:
            return {};
        case DeskFault::NoName:
            return QCoreApplication::translate("FileViewDialogs", "Manca il nome.");
        case DeskFault::Wildcard:
            return QCoreApplication::translate(
                "FileViewDialogs",
                "Un nome non può contenere «*» o «?»: il dispositivo non "
                "potrebbe richiamarlo.");
        case DeskFault::SpacesAndDots:
            return QCoreApplication::translate("FileViewDialogs",
                                               "Una parte del nome è fatta solo di spazi e punti.");
        case DeskFault::LeadingDot:
            return QCoreApplication::translate(
                "FileViewDialogs",
                "Un nome che comincia con «.» è nascosto al catalogo del "
                "dispositivo.");
        case DeskFault::NotOnDisk:
            return QCoreApplication::translate("FileViewDialogs",
                                               "Nome troppo lungo per il disco (%1).")
                .arg(detail);
        case DeskFault::Separator:
            return QCoreApplication::translate("FileViewDialogs",
                                               "Il nuovo nome è un nome solo, senza «/» o «\\».");
        case DeskFault::SettingsFile:
            return QCoreApplication::translate("FileViewDialogs",
                                               "È il nome del file delle impostazioni.");
        case DeskFault::Link:
            return QCoreApplication::translate("FileViewDialogs",
                                               "Esiste un collegamento con questo nome.");
        case DeskFault::NoFolder:
            return QCoreApplication::translate("FileViewDialogs", "La cartella non esiste.");
        case DeskFault::FolderRefuses:
            return QCoreApplication::translate("FileViewDialogs",
                                               "La cartella non accetta file nuovi (%1).")
                .arg(detail);
        case DeskFault::StoredExists:
            return QCoreApplication::translate("FileViewDialogs",
                                               "Esiste già un file con questo nome.");
        case DeskFault::OtherExists:
            return QCoreApplication::translate(
                "FileViewDialogs",
                "Esiste già un file con questo nome che non è un file del "
                "dispositivo: non viene sostituito.");
        case DeskFault::FolderExists:
            return QCoreApplication::translate("FileViewDialogs",
                                               "Esiste già una cartella con questo nome.");
        case DeskFault::TooLarge:
            return QCoreApplication::translate(
                       "FileViewDialogs",
                       "%1 byte: un file del dispositivo ne contiene al massimo "
                       "65.535.")
                .arg(QLocale(QLocale::Italian)
                         .toString(r.detail.empty() ? 0 : std::stoll(r.detail)));
        case DeskFault::NotFound:
            return QCoreApplication::translate("FileViewDialogs", "Non esiste più.");
        case DeskFault::NotStored:
            return QCoreApplication::translate("FileViewDialogs", "Non è un file del dispositivo.");
        case DeskFault::HoldsCurrent:
            return QCoreApplication::translate("FileViewDialogs",
                                               "È la cartella in cui si trova il dispositivo, o la "
                                               "contiene.");
        case DeskFault::NotEmpty:
            return QCoreApplication::translate("FileViewDialogs", "La cartella non è vuota.");
        case DeskFault::DiskError:
            return QCoreApplication::translate("FileViewDialogs", "Errore del disco: %1.")
                .arg(detail);
    }
    return detail;
}

QWidget* open_import_dialog(QWidget* parent, const std::string& folder, const QString& pc_file,
                            std::size_t size, std::function<void(const ImportChoice&)> done) {
    QDialog* dialog = new_dialog(parent, kImportDialogName,
                                 QCoreApplication::translate("FileViewDialogs", "Importa"));
    const QString pc_name = QFileInfo(pc_file).fileName();
    const StoredHeader proposed = proposed_header(pc_name.toStdString());
    auto* name = new QLineEdit(gui::from_ansi(propose_stored_name(gui::to_ansi(pc_name))), dialog);
    name->setObjectName(kImportNameEdit);
    auto* type = new_number(dialog, kImportTypeSpin, 255, proposed.type);
    auto* kind = new QLabel(dialog);
    auto* param1 = new_number(dialog, kImportParam1Spin, 65535, proposed.param1);
    auto* param2 = new_number(dialog, kImportParam2Spin, 65535, proposed.param2);
    auto* param1_label = new QLabel(dialog);
    auto* param2_label = new QLabel(dialog);
    auto* replace = new QCheckBox(
        QCoreApplication::translate("FileViewDialogs", "Sostituisci il file esistente"), dialog);
    replace->setObjectName(kImportReplaceBox);
    auto* reason = new_reason(dialog);
    auto* buttons = new_buttons(dialog);

    auto* form = new QFormLayout;
    form->addRow(
        QCoreApplication::translate("FileViewDialogs", "File del PC:"),
        new QLabel(
            QCoreApplication::translate("FileViewDialogs", "%1 (%2 byte)")
                .arg(pc_name, QLocale(QLocale::Italian).toString(static_cast<qulonglong>(size))),
            dialog));
    form->addRow(QCoreApplication::translate("FileViewDialogs", "Nome sul dispositivo:"), name);
    auto* type_row = new QHBoxLayout;
    type_row->addWidget(type);
    type_row->addWidget(kind, 1);
    form->addRow(QCoreApplication::translate("FileViewDialogs", "Tipo:"), type_row);
    form->addRow(param1_label, param1);
    form->addRow(param2_label, param2);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(form);
    layout->addWidget(replace);
    layout->addWidget(reason);
    layout->addWidget(buttons);

    auto choice = [=] {
        ImportChoice c;
        c.name = folder + gui::to_ansi(name->text());
        c.header.type = static_cast<std::uint8_t>(type->value());
        c.header.param1 = static_cast<std::uint16_t>(param1->value());
        c.header.param2 = static_cast<std::uint16_t>(param2->value());
        c.header.length = static_cast<std::uint16_t>(size);
        c.replace = replace->isChecked();
        return c;
    };
    auto recheck = [=] {
        const ImportChoice c = choice();
        // The catalogue's own words for what the device will list.
        kind->setText(
            QCoreApplication::translate("FileViewDialogs", "%1: %2")
                .arg(c.header.type == 0
                         ? QCoreApplication::translate("FileViewDialogs", "programma")
                         : QCoreApplication::translate("FileViewDialogs", "blocco di byte"),
                     gui::from_ansi(stored_file_words(c.header))));
        param1_label->setText(
            c.header.type == 0
                ? QCoreApplication::translate("FileViewDialogs", "Parametro 1:")
                : QCoreApplication::translate("FileViewDialogs", "Indirizzo di caricamento:"));
        param2_label->setText(
            c.header.type == 0 ? QCoreApplication::translate("FileViewDialogs", "Riga di partenza:")
                               : QCoreApplication::translate("FileViewDialogs", "Parametro 2:"));
        const DeskResult asked = check_new_file(c.name, c.replace);
        // Replacing is offered only for a stored file, and only ticked by the user.
        replace->setVisible(asked.fault == DeskFault::StoredExists || c.replace);
        show_check(reason, buttons, asked);
    };
    // A program starts at line 0; a block of bytes loads where the dialog says.
    auto program = std::make_shared<bool>(proposed.type == 0);
    QObject::connect(type, &QSpinBox::valueChanged, dialog, [=](int value) {
        if (*program != (value == 0)) param1->setValue(value == 0 ? 0 : proposed_header("").param1);
        *program = value == 0;
        recheck();
    });
    QObject::connect(name, &QLineEdit::textChanged, dialog, recheck);
    QObject::connect(param1, &QSpinBox::valueChanged, dialog, recheck);
    QObject::connect(param2, &QSpinBox::valueChanged, dialog, recheck);
    QObject::connect(replace, &QCheckBox::toggled, dialog, recheck);
    QObject::connect(dialog, &QDialog::accepted, dialog,
                     [=, done = std::move(done)] { done(choice()); });
    recheck();
    name->selectAll();
    dialog->open();
    return dialog;
}

QWidget* open_name_dialog(QWidget* parent, const QString& title, const QString& label,
                          const QString& initial,
                          std::function<DeskResult(const std::string&)> check,
                          std::function<void(const std::string&)> done) {
    QDialog* dialog = new_dialog(parent, kNameDialogName, title);
    auto* name = new QLineEdit(initial, dialog);
    name->setObjectName(kNameEdit);
    auto* reason = new_reason(dialog);
    auto* buttons = new_buttons(dialog);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel(label, dialog));
    layout->addWidget(name);
    layout->addWidget(reason);
    layout->addWidget(buttons);
    auto recheck = [=] { show_check(reason, buttons, check(gui::to_ansi(name->text()))); };
    QObject::connect(name, &QLineEdit::textChanged, dialog, recheck);
    QObject::connect(dialog, &QDialog::accepted, dialog,
                     [=, done = std::move(done)] { done(gui::to_ansi(name->text())); });
    recheck();
    name->selectAll();
    dialog->open();
    return dialog;
}

}  // namespace kv::core
