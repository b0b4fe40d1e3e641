#include "gui/pump.h"

#include <QCoreApplication>
#include <QTimer>

namespace kv::gui {

bool SYSREFRESH() {
    if (!QCoreApplication::instance()) return true;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !QCoreApplication::closingDown();
}

void wait_for_events(std::optional<std::chrono::milliseconds> timeout) {
    if (!QCoreApplication::instance()) return;
    QTimer deadline;  // its expiry is itself an event, which ends the wait
    if (timeout) {
        deadline.setSingleShot(true);
        deadline.setTimerType(Qt::PreciseTimer);
        deadline.start(std::max<std::chrono::milliseconds>(*timeout, std::chrono::milliseconds(0)));
    }
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace kv::gui
