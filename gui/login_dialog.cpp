#include "gui/login_dialog.h"

#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <utility>

#include "gui/run_mode.h"
#include "gui/text.h"

namespace kv::gui {
namespace {

constexpr int kConfirmId = 201;
constexpr int kCancelId = 202;

std::function<void(QDialog&)>& answerer() {
    static std::function<void(QDialog&)> answer;
    return answer;
}

QLineEdit* add_field(QFormLayout& form, const char* label, const std::string& text, int width,
                     const char* name) {
    auto* edit = new QLineEdit(from_ansi(text));
    edit->setObjectName(name);
    edit->setMaxLength(width);
    form.addRow(QString::fromLatin1(label), edit);
    return edit;
}

QPushButton* add_button(QHBoxLayout& row, const char* text, int id) {
    auto* button = new QPushButton(QString::fromLatin1(text));
    button->setObjectName(QString::number(id));
    row.addWidget(button);
    return button;
}

}  // namespace

void set_login_dialog_answerer(std::function<void(QDialog& dialog)> answer) {
    answerer() = std::move(answer);
}

ScopedLoginDialogAnswerer::ScopedLoginDialogAnswerer(std::function<void(QDialog& dialog)> answer)
    : previous_(std::exchange(answerer(), std::move(answer))) {}

ScopedLoginDialogAnswerer::~ScopedLoginDialogAnswerer() {
    answerer() = std::move(previous_);
}

int show_login_dialog(LoginDialogFields& fields) {
    if (is_headless()) return 0;
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Utente"));
    dialog.setModal(true);
    auto* layout = new QVBoxLayout(&dialog);
    auto* form = new QFormLayout;
    layout->addLayout(form);
    QLineEdit* id = add_field(*form, "Utente:", fields.id, fields.id_width, "id");
    QObject::connect(id, &QLineEdit::textEdited, id, [id](const QString& text) {
        const int at = id->cursorPosition();
        id->setText(text.toUpper());
        id->setCursorPosition(at);
    });
    QLineEdit* password = nullptr;
    if (fields.with_password) {
        password =
            add_field(*form, "Password:", fields.password, fields.password_width, "password");
        password->setEchoMode(QLineEdit::Password);
    }
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    QPushButton* confirm = add_button(*buttons, "&Conferma", kConfirmId);
    QPushButton* cancel = add_button(*buttons, "&Annulla", kCancelId);
    confirm->setDefault(true);
    QObject::connect(confirm, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(1); });
    QObject::connect(cancel, &QPushButton::clicked, &dialog, [&dialog] { dialog.done(2); });
    if (answerer()) QTimer::singleShot(0, &dialog, [&dialog] { answerer()(dialog); });
    const int result = dialog.exec();
    fields.id = to_ansi(id->text());
    if (password) fields.password = to_ansi(password->text());
    return result == 1 || result == 2 ? result : 0;
}

}  // namespace kv::gui
