#pragma once
// Keys and clicks as the window system delivers them: through the application's handling of
// window-system events, so a key goes to the focus widget of the window and a click is dropped
// when a modal window blocks the window or the widget is disabled.
#include <QTest>
#include <QWidget>
#include <QWindow>

namespace kv::test {

// A key pressed or released while `widget`'s window is on screen.
inline void system_key(QWidget* widget, Qt::Key key, QEvent::Type type = QEvent::KeyPress) {
    QWindow* window = widget->window()->windowHandle();
    if (type == QEvent::KeyPress)
        QTest::keyPress(window, key);
    else
        QTest::keyRelease(window, key);
}
inline void system_key_click(QWidget* widget, Qt::Key key) {
    QTest::keyClick(widget->window()->windowHandle(), key);
}

// A left click at the centre of `widget`.
inline void system_click(QWidget* widget) {
    QWidget* top = widget->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      widget->mapTo(top, widget->rect().center()));
}

}  // namespace kv::test
