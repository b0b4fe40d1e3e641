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

#include "gui/message_box.h"
#include "tools/kvshots/shots.h"

namespace kv::shots {
namespace {

constexpr int kSettleMilliseconds = 300;
constexpr int kExposeMilliseconds = 5000;

bool reads_screen() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Handles events until the window is on screen and has been painted (without a screen to read,
// until it has handled what is pending).
void settle(QWidget& window) {
    if (!reads_screen()) {
        QApplication::processEvents();
        return;
    }
    QElapsedTimer clock;
    clock.start();
    auto exposed = [&window] {
        return window.windowHandle() && window.windowHandle()->isExposed();
    };
    while (!exposed() && clock.elapsed() < kExposeMilliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    const qint64 exposed_at = clock.elapsed();
    while (clock.elapsed() - exposed_at < kSettleMilliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
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

QImage grab_modal(const std::function<void()>& open) {
    QImage image;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        poll.stop();
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
