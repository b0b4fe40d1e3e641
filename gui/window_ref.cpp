#include "gui/window_ref.h"

#include <QApplication>
#include <QKeyEvent>

#include "gui/text.h"

namespace kv::gui {
namespace {

bool have_widgets() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

// The Qt key and the text of a key press by Windows virtual-key code.
std::pair<int, QString> key_of(int vk) {
    switch (vk) {
        case 8:
            return {Qt::Key_Backspace, "\b"};
        case 9:
            return {Qt::Key_Tab, "\t"};
        case 13:
            return {Qt::Key_Return, "\r"};
        case 27:
            return {Qt::Key_Escape, "\x1b"};
        case 32:
            return {Qt::Key_Space, " "};
        default:
            if (vk >= '0' && vk <= '9') return {vk, QString(QChar(vk))};
            if (vk >= 'A' && vk <= 'Z') return {vk, QString(QChar(vk))};
            return {Qt::Key_unknown, QString()};
    }
}

void post_press_and_release(QWidget* target, int key, const QString& text) {
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
    QCoreApplication::postEvent(target,
                                new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
}

}  // namespace

WindowRef WindowRef::active() {
    if (!have_widgets()) return {};
    return WindowRef(QApplication::activeWindow());
}

WindowRef WindowRef::focused() {
    if (!have_widgets()) return {};
    return WindowRef(QApplication::focusWidget());
}

void WindowRef::enable(bool on) const {
    if (window_) window_->setEnabled(on);
}

void WindowRef::focus() const {
    if (window_) window_->setFocus(Qt::OtherFocusReason);
}

void WindowRef::activate() const {
    if (window_) window_->activateWindow();
}

QWidget* WindowRef::target() const {
    if (!window_) return nullptr;
    if (window_->isWindow() && window_->focusWidget()) return window_->focusWidget();
    return window_.data();
}

void WindowRef::post_character(char c) const {
    if (QWidget* to = target()) {
        const QString text = from_ansi(std::string_view(&c, 1));
        const QChar upper = text.at(0).toUpper();
        const int key = upper.unicode() < 0x80 && upper.isLetterOrNumber() ? int{upper.unicode()}
                                                                           : int{Qt::Key_unknown};
        post_press_and_release(to, key, text);
    }
}

void WindowRef::post_key_down(int vk) const {
    if (QWidget* to = target()) {
        const auto [key, text] = key_of(vk);
        post_press_and_release(to, key, text);
    }
}

}  // namespace kv::gui
