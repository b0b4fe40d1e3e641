#include "gui/key_tracker.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "platform/keystate.h"

namespace kv::gui {
namespace {

// True when a key pressed in the widget belongs to its window alone: a menu or a list that pops
// up, or a window (or a window opened over one) that keeps its keys.
bool keys_stay_in(QWidget* widget) {
    for (QWidget* w = widget->window(); w;
         w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        if (w->windowType() == Qt::Popup || w->property(kKeysStayInWindow).toBool()) return true;
    }
    return false;
}

class KeyTracker : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::KeyPress:
            case QEvent::KeyRelease: {
                // A key from the window system reaches the window's QWindow first and its focus
                // widget after: only the widget's delivery says whose key it is.
                auto* key = static_cast<QKeyEvent*>(event);
                auto* widget = qobject_cast<QWidget*>(watched);
                if (!widget || key->isAutoRepeat()) break;
                if (event->type() == QEvent::KeyRelease)
                    platform::set_key_down(virtual_key_of(*key), false);  // wherever it ends
                else if (!keys_stay_in(widget))
                    platform::set_key_down(virtual_key_of(*key), true);
                break;
            }
            case QEvent::ApplicationDeactivate:
                // A key released while another application has the focus sends us no release.
                for (int vk = 0; vk < 256; ++vk) platform::set_key_down(vk, false);
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

int virtual_key_of(const QKeyEvent& event) {
    const int key = event.key();
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 112 + (key - Qt::Key_F1);
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z))
        return key;  // Windows uses the ASCII codes of digits and capital letters
    switch (key) {
        case Qt::Key_Escape:
            return 27;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Backspace:
            return 8;
        case Qt::Key_Shift:
            return 16;
        case Qt::Key_Control:
            return 17;
        case Qt::Key_Alt:
            return 18;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_End:
            return 35;
        case Qt::Key_Home:
            return 36;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Insert:
            return 45;
        case Qt::Key_Delete:
            return 46;
        default:
            return -1;
    }
}

void install_key_tracker(QApplication& app) {
    app.installEventFilter(new KeyTracker(&app));
}

}  // namespace kv::gui
