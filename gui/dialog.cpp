#include "gui/dialog.h"

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QScreen>

#include "gui/controls.h"
#include "gui/picture.h"
#include "gui/text.h"
#include "gui/window_ref.h"

namespace kv::gui {

Variable text_variable(std::string& variable) {
    return {VarKind::Text, [&variable] { return VarValue(variable); },
            [&variable](const VarValue& v) {
                if (auto* s = std::get_if<std::string>(&v)) variable = *s;
            }};
}

Variable number_variable(double& variable) {
    return {VarKind::Number, [&variable] { return VarValue(variable); },
            [&variable](const VarValue& v) {
                if (auto* d = std::get_if<double>(&v)) variable = *d;
            }};
}

// ---- Control

Control::Control(Container& owner, std::string class_name, QWidget* widget)
    : owner_(owner), class_name_(std::move(class_name)), widget_(widget) {}

Control::~Control() = default;

std::optional<VarValue> Control::var_get() const {
    if (!set_get || !set_get->get) return std::nullopt;
    return set_get->get();
}

std::string Control::var_text() const {
    const auto value = var_get();
    if (!value) return {};
    if (const auto* number = std::get_if<double>(&*value)) return format_number(*number, picture);
    return std::get<std::string>(*value);
}

std::string Control::text() const {
    return var_text();
}

void Control::refresh() {
    widget_->update();
}

void Control::finish_edit() {}

Colour Control::pane_colour() const {
    const QColor c = widget_->palette().color(widget_->backgroundRole());
    return rgb(c.red(), c.green(), c.blue());
}

void Control::set_pane_colour(Colour colour) {
    QPalette palette = widget_->palette();
    const QColor c(static_cast<int>(colour & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                   static_cast<int>(colour >> 16 & 0xFF));
    palette.setColor(widget_->backgroundRole(), c);
    widget_->setAutoFillBackground(true);
    widget_->setPalette(palette);
}

void Control::set_focus() {
    widget_->setFocus(Qt::OtherFocusReason);
}

void Control::enable(bool on) {
    widget_->setEnabled(on);
}

bool Control::enabled() const {
    return widget_->isEnabled();
}

Control& Control::at(int left, int top, int width, int height) {
    widget_->setGeometry(left, top, width, height);
    return *this;
}

void Control::changed() {
    owner_.modified = true;
}

Container::~Container() = default;

// ---- Dialog

// The dialog's window: every way of closing it (buttons, Esc, the close box) comes to done(),
// which asks the close rule first.
class Dialog::Window : public QDialog {
  public:
    std::function<bool()> rule;

    void done(int result) override {
        if (!rule || rule()) QDialog::done(result);
    }
};

Dialog::Dialog(const std::string& title)
    : Container(new Window), window_(static_cast<Window*>(widget())) {
    window_->setWindowTitle(from_ansi(title));
    window_->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
}

Dialog::~Dialog() {
    delete window_;
}

QDialog* Dialog::window() const {
    return window_;
}

void Dialog::set_close_rule(std::function<bool()> rule) {
    window_->rule = std::move(rule);
}

void Dialog::set_size(int width, int height) {
    window_->setFixedSize(width, height);
}

int Dialog::activate() {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window_->move(area.center() - QPoint(window_->width() / 2, window_->height() / 2));
    }
    const WindowRef previous = WindowRef::active();
    const int result = window_->exec();
    // The keyboard goes back to the window that had it before.
    QWidget* now = QApplication::activeWindow();
    if (!now || now == window_) previous.activate();
    return result;
}

void Dialog::end(int result) {
    window_->done(result);
}

int Dialog::result() const {
    return window_->result();
}

void Dialog::redraw() {
    window_->repaint();
}

namespace {

Control* find_control(const Container& container, const QWidget* widget) {
    for (const auto& control : container.controls()) {
        if (auto* folder = dynamic_cast<Folder*>(control.get())) {
            for (const auto& page : folder->pages())
                if (Control* found = find_control(*page, widget)) return found;
        }
        if (control->widget() == widget || control->widget()->isAncestorOf(widget))
            return control.get();
    }
    return nullptr;
}

}  // namespace

Control* Dialog::control_of(const QWidget* widget) const {
    return widget ? find_control(*this, widget) : nullptr;
}

}  // namespace kv::gui
