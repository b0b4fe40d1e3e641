#include "gui/window_ref.h"

#include <QApplication>

namespace kv::gui {

WindowRef WindowRef::active() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return {};
    return WindowRef(QApplication::activeWindow());
}

void WindowRef::enable(bool on) const {
    if (window_) window_->setEnabled(on);
}

}  // namespace kv::gui
