#pragma once
// Base of tests that drive real windows on the offscreen platform: windowed mode, key presses
// tracked as the program tracks them, no key held at the start or the end.
#include <QApplication>
#include <QKeyEvent>

#include <gtest/gtest.h>

#include "gui/key_tracker.h"
#include "gui/message_box.h"
#include "gui/run_mode.h"
#include "platform/keystate.h"

namespace kv::test {

// Sends a key event to a widget, as a key press in the program's window would arrive.
inline void send_key(QWidget* target, Qt::Key key, QEvent::Type type = QEvent::KeyPress) {
    QKeyEvent event(type, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        gui::set_headless(false);
        platform::release_all_keys();
        static bool tracking = false;
        if (!tracking) gui::install_key_tracker(*qApp);
        tracking = true;
    }
    void TearDown() override {
        gui::set_box_answerer(nullptr);
        platform::release_all_keys();
    }
};

}  // namespace kv::test
