#include "gui/pump.h"

#include <QCoreApplication>
#include <QTimer>

namespace kv::gui {
namespace {

class QtPump : public Pump {
  public:
    bool refresh() override {
        if (!QCoreApplication::instance()) return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        return !QCoreApplication::closingDown();
    }
    void wait(std::optional<platform::Duration> at_most) override {
        if (!QCoreApplication::instance()) return;
        QTimer deadline;  // its expiry is itself an event, which ends the wait
        if (at_most) {
            deadline.setSingleShot(true);
            deadline.setTimerType(Qt::PreciseTimer);
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*at_most);
            deadline.start(std::max<std::chrono::milliseconds>(ms, std::chrono::milliseconds(0)));
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

QtPump qt_pump;
Pump* installed = nullptr;

}  // namespace

Pump& pump() {
    return installed ? *installed : qt_pump;
}

Pump* set_pump(Pump* p) {
    Pump* previous = installed;
    installed = p;
    return previous;
}

bool SYSREFRESH() {
    return pump().refresh();
}

void wait_for_events(std::optional<platform::Duration> timeout) {
    pump().wait(timeout);
}

}  // namespace kv::gui
