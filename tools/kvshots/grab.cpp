#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>

#include "gui/message_box.h"
#include "tools/kvshots/shots.h"

namespace kv::shots {
namespace {

constexpr int kSettleMilliseconds = 300;
constexpr int kExposeMilliseconds = 5000;
constexpr int kFrameMilliseconds = 2000;

bool reads_screen() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Handles events until a condition holds or the time is up.
void pump_until(const std::function<bool()>& done, int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
}

// Handles events until the window is on screen, framed by the window manager, and has been
// painted (without a screen to read, until it has handled what is pending). A window manager
// that has only just started may show a window before it frames it.
void settle(QWidget& window) {
    if (!reads_screen()) {
        QApplication::processEvents();
        return;
    }
    pump_until(
        [&window] {
            return window.windowHandle() && window.windowHandle()->isExposed() &&
                   window.width() > 1 && window.height() > 1;
        },
        kExposeMilliseconds);
    pump_until([&window] { return window.frameGeometry() != window.geometry(); },
               kFrameMilliseconds);
    pump_until([] { return false; }, kSettleMilliseconds);
}

}  // namespace

QImage grab_window(QWidget& window) {
    settle(window);
    if (reads_screen()) {
        if (QScreen* screen = window.screen()) {
            const QRect frame = window.frameGeometry();
            return screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                .toImage();
        }
    }
    return window.grab().toImage();
}

QImage grab_modal(const std::function<void()>& open,
                  const std::function<void(QWidget& modal)>& prepare) {
    QImage image;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        poll.stop();
        if (prepare) prepare(*modal);
        image = grab_window(*modal);
        modal->close();
    });
    // Boxes are left to the poll: nothing answers them meanwhile.
    gui::ScopedBoxAnswerer quiet([](QMessageBox&, const gui::BoxRequest&) {});
    poll.start();
    open();
    return image;
}

}  // namespace kv::shots
