#include "gui/controls.h"

#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "gui/picture.h"
#include "gui/text.h"

namespace kv::gui {
namespace {

// Runs an action when the watched widget loses the keyboard focus.
class FocusOut : public QObject {
  public:
    FocusOut(QWidget* widget, std::function<void()> action)
        : QObject(widget), action_(std::move(action)) {
        widget->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusOut) action_();
        return QObject::eventFilter(watched, event);
    }

  private:
    std::function<void()> action_;
};

// The shown text put back into a variable of its kind.
VarValue value_of(VarKind kind, const std::string& text) {
    if (kind == VarKind::Number) return parse_number(text);
    return text;
}

}  // namespace

// ---- Get

Get::Get(Container& owner, Variable variable, std::string picture_, int id_)
    : Control(owner, "TGET", new QLineEdit(owner.widget())) {
    id = id_;
    set_get = std::move(variable);
    picture = std::move(picture_);
    refresh();
    QObject::connect(edit(), &QLineEdit::textEdited, edit(), [this] { changed(); });
    new FocusOut(edit(), [this] { finish_edit(); });
}

QLineEdit* Get::edit() const {
    return static_cast<QLineEdit*>(widget());
}

std::string Get::text() const {
    return to_ansi(edit()->text());
}

void Get::refresh() {
    edit()->setText(from_ansi(var_text()));
}

void Get::finish_edit() {
    if (set_get && set_get->set) set_get->set(value_of(set_get->kind, text()));
}

void Get::set_text(const std::string& text) {
    edit()->setText(from_ansi(text));
}

// ---- MultiGet

MultiGet::MultiGet(Container& owner, Variable variable, int id_)
    : Control(owner, "TMULTIGET", new QPlainTextEdit(owner.widget())) {
    id = id_;
    set_get = std::move(variable);
    refresh();
    QObject::connect(edit(), &QPlainTextEdit::textChanged, edit(), [this] {
        if (!refreshing_) changed();
    });
    new FocusOut(edit(), [this] { finish_edit(); });
}

QPlainTextEdit* MultiGet::edit() const {
    return static_cast<QPlainTextEdit*>(widget());
}

std::string MultiGet::text() const {
    return to_ansi(edit()->toPlainText());
}

void MultiGet::refresh() {
    refreshing_ = true;
    edit()->setPlainText(from_ansi(var_text()));
    refreshing_ = false;
}

void MultiGet::finish_edit() {
    if (set_get && set_get->set) set_get->set(text());
}

// ---- ComboBox

ComboBox::ComboBox(Container& owner, Variable variable, const std::vector<std::string>& items,
                   int id_)
    : Control(owner, "TCOMBOBOX", new QComboBox(owner.widget())) {
    id = id_;
    set_get = std::move(variable);
    for (const auto& item : items) box()->addItem(from_ansi(item));
    refresh();
    QObject::connect(box(), &QComboBox::activated, box(), [this] {
        changed();
        finish_edit();
    });
}

QComboBox* ComboBox::box() const {
    return static_cast<QComboBox*>(widget());
}

std::string ComboBox::text() const {
    return to_ansi(box()->currentText());
}

void ComboBox::refresh() {
    const int index = box()->findText(from_ansi(var_text()), Qt::MatchExactly);
    if (index >= 0) box()->setCurrentIndex(index);
}

void ComboBox::finish_edit() {
    if (set_get && set_get->set) set_get->set(text());
}

int ComboBox::count() const {
    return box()->count();
}

std::string ComboBox::item(int index) const {
    return to_ansi(box()->itemText(index));
}

void ComboBox::set_item(int index, const std::string& text) {
    box()->setItemText(index, from_ansi(text));
}

int ComboBox::selected() const {
    return box()->currentIndex();
}

void ComboBox::select(int index) {
    box()->setCurrentIndex(index);
}

// ---- ListBox

ListBox::ListBox(Container& owner, Variable variable, const std::vector<std::string>& items,
                 int id_)
    : Control(owner, "TLISTBOX", new QListWidget(owner.widget())) {
    id = id_;
    set_get = std::move(variable);
    for (const auto& item : items) list()->addItem(from_ansi(item));
    const auto shown = list()->findItems(from_ansi(var_text()), Qt::MatchExactly);
    if (!shown.empty()) list()->setCurrentItem(shown.front());
    QObject::connect(list(), &QListWidget::currentRowChanged, list(), [this] {
        changed();
        finish_edit();
    });
}

QListWidget* ListBox::list() const {
    return static_cast<QListWidget*>(widget());
}

std::string ListBox::text() const {
    const auto* item = list()->currentItem();
    return item ? to_ansi(item->text()) : std::string();
}

void ListBox::finish_edit() {
    if (set_get && set_get->set) set_get->set(text());
}

// ---- Say

Say::Say(Container& owner, const std::string& text, int id_)
    : Control(owner, "TSAY", new QLabel(from_ansi(text), owner.widget())) {
    id = id_;
}

Say::Say(Container& owner, Variable variable, std::string picture_, int id_)
    : Control(owner, "TSAY", new QLabel(owner.widget())) {
    id = id_;
    set_get = std::move(variable);
    picture = std::move(picture_);
    refresh();
}

std::string Say::text() const {
    return to_ansi(static_cast<QLabel*>(widget())->text());
}

void Say::refresh() {
    if (set_get) static_cast<QLabel*>(widget())->setText(from_ansi(var_text()));
    widget()->update();
}

// ---- Meter

Meter::Meter(Container& owner, Variable variable, int total, int id_)
    : Control(owner, "TMETER", new QProgressBar(owner.widget())) {
    id = id_;
    set_get = std::move(variable);
    static_cast<QProgressBar*>(widget())->setRange(0, total);
    refresh();
}

void Meter::refresh() {
    const auto value = var_get();
    if (const auto* number = value ? std::get_if<double>(&*value) : nullptr)
        static_cast<QProgressBar*>(widget())->setValue(static_cast<int>(*number));
}

// ---- Button

Button::Button(Container& owner, const std::string& text, std::function<void()> action, int id_)
    : Control(owner, "TBUTTON", new QPushButton(from_ansi(text), owner.widget())) {
    id = id_;
    QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked, widget(),
                     [action = std::move(action)] {
                         if (action) action();
                     });
}

Button& add_confirm_button(Container& owner, const std::string& text, int id) {
    Dialog& dialog = owner.dialog();
    auto& button = owner.add<Button>(
        text,
        [&dialog] {
            dialog.cargo = 1;
            dialog.end(1);
        },
        id);
    static_cast<QPushButton*>(button.widget())->setDefault(true);
    return button;
}

Button& add_cancel_button(Container& owner, const std::string& text, int id) {
    Dialog& dialog = owner.dialog();
    return owner.add<Button>(
        text,
        [&dialog] {
            dialog.cargo = 2;
            dialog.end(2);
        },
        id);
}

// ---- Folder

Folder::Folder(Container& owner, const std::vector<std::string>& titles, int id_)
    : Control(owner, "TFOLDER", new QTabWidget(owner.widget())) {
    id = id_;
    for (const auto& title : titles) {
        auto* page = new QWidget;
        tabs()->addTab(page, from_ansi(title));
        pages_.push_back(std::make_unique<FolderPage>(owner.dialog(), page));
    }
}

QTabWidget* Folder::tabs() const {
    return static_cast<QTabWidget*>(widget());
}

void Folder::SetOption(int n) {
    tabs()->setCurrentIndex(n - 1);
}

int Folder::option() const {
    return tabs()->currentIndex() + 1;
}

}  // namespace kv::gui
