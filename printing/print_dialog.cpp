#include "printing/print_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/text.h"
#include "printing/printers.h"
#include "util/msgbox.h"

namespace kv::printing {
namespace {

// Points out a bad field: red background, the message, the focus back on it.
bool refuse(QWidget* field) {
    const QString saved = field->styleSheet();
    field->setStyleSheet("background-color: rgb(255, 0, 0);");
    field->setFocus();
    util::POPMSG("Campo non valido.", 1);
    field->setStyleSheet(saved);
    field->setFocus();
    return false;
}

}  // namespace

PrintDialog::PrintDialog(QWidget* parent, const std::string& printer, int current, int pages)
    : QDialog(parent), current_page_(current), pages_(pages) {
    setWindowTitle("Stampa");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    name_ = new QComboBox(this);
    for (const std::string& n : ADEVNAMES()) name_->addItem(QString::fromStdString(n));
    const int at = name_->findText(QString::fromStdString(printer));
    name_->setCurrentIndex(at > 0 ? at : (name_->count() > 1 ? 1 : 0));

    auto* range = new QGroupBox("Intervallo di stampa", this);
    all_ = new QRadioButton("Tutte", range);
    current_ = new QRadioButton("Pagina corrente", range);
    selection_ = new QRadioButton("Selezione", range);
    from_ = new QSpinBox(range);
    to_ = new QSpinBox(range);
    for (QSpinBox* box : {from_, to_}) box->setRange(0, 9999);
    from_->setValue(1);
    to_->setValue(pages);
    all_->setChecked(true);
    auto* selection_row = new QHBoxLayout;
    selection_row->addWidget(selection_);
    selection_row->addWidget(new QLabel("da", range));
    selection_row->addWidget(from_);
    selection_row->addWidget(new QLabel("a", range));
    selection_row->addWidget(to_);
    auto* range_layout = new QVBoxLayout(range);
    range_layout->addWidget(all_);
    range_layout->addWidget(current_);
    range_layout->addLayout(selection_row);
    auto enable_pages = [this] {
        from_->setEnabled(selection_->isChecked());
        to_->setEnabled(selection_->isChecked());
    };
    connect(selection_, &QRadioButton::toggled, this, enable_pages);
    enable_pages();

    copies_ = new QSpinBox(this);
    copies_->setRange(1, 999);
    copies_->setValue(1);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("OK", QDialogButtonBox::AcceptRole);
    buttons->addButton("Annulla", QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &PrintDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PrintDialog::reject);

    auto* form = new QFormLayout;
    form->addRow("Nome:", name_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(range);
    auto* copies_form = new QFormLayout;
    copies_form->addRow("Copie:", copies_);
    layout->addLayout(copies_form);
    layout->addWidget(buttons);
}

PrintRequest PrintDialog::request() const {
    PrintRequest r;
    r.printer = name_->currentText().toStdString();
    r.copies = copies_->value();
    if (current_->isChecked()) {
        r.first = r.last = current_page_;
    } else if (selection_->isChecked()) {
        r.first = from_->value();
        r.last = to_->value();
    } else {
        r.first = 1;
        r.last = pages_;
    }
    return r;
}

void PrintDialog::accept() {
    if (name_->currentText().isEmpty()) return (void)refuse(name_);
    if (selection_->isChecked()) {
        if (from_->value() < 1 || from_->value() > pages_) return (void)refuse(from_);
        if (to_->value() < from_->value() || to_->value() > pages_) return (void)refuse(to_);
    }
    QDialog::accept();
}

}  // namespace kv::printing
