// Message boxes, answered by a scripted answerer on the offscreen platform.
#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include "gui/key_tracker.h"
#include "gui/message_box.h"
#include "gui/pump.h"
#include "platform/keystate.h"
#include "util/msgbox.h"

namespace {

using kv::util::POPMSG;

struct SeenBox {
    bool shown = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton default_button = QMessageBox::NoButton;
};

class MessageBoxTest : public ::testing::Test {
  protected:
    void TearDown() override { kv::gui::set_box_answerer(nullptr); }

    // Records the box, then presses `press` (or Enter when it is NoButton).
    void answer_with(QMessageBox::StandardButton press) {
        kv::gui::set_box_answerer([this, press](QMessageBox& box, const kv::gui::BoxRequest&) {
            seen.shown = true;
            seen.title = box.windowTitle();
            seen.text = box.text();
            seen.icon = box.icon();
            for (auto* b : box.buttons()) seen.buttons.append(box.standardButton(b));
            if (box.defaultButton()) seen.default_button = box.standardButton(box.defaultButton());
            if (press == QMessageBox::NoButton) {
                QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
                QApplication::sendEvent(&box, &enter);
            } else {
                box.button(press)->click();
            }
        });
    }

    SeenBox seen;
};

TEST_F(MessageBoxTest, InformationBoxShowsSemicolonsAsLinesUnderTheDefaultTitle) {
    answer_with(QMessageBox::Ok);
    EXPECT_EQ(POPMSG("Prima frase;Seconda frase", 1), std::nullopt);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "Attenzione");
    EXPECT_EQ(seen.text, "Prima frase\r\nSeconda frase");
    EXPECT_EQ(seen.icon, QMessageBox::Information);
    EXPECT_EQ(seen.buttons, QList<QMessageBox::StandardButton>{QMessageBox::Ok});
}

// A pump that counts what it is asked to do and lets Qt do it.
class CountingPump : public kv::gui::Pump {
  public:
    bool refresh() override {
        ++refreshes;
        return true;
    }
    void wait(std::optional<kv::platform::Duration>) override {}
    int refreshes = 0;
};

TEST_F(MessageBoxTest, ABoxLetsTheWindowsEventsRunThroughTheOnePump) {
    CountingPump counting;
    kv::gui::ScopedPump pump(&counting);
    answer_with(QMessageBox::Ok);
    POPMSG("x", 1);
    EXPECT_GE(counting.refreshes, 1);
}

TEST_F(MessageBoxTest, GivenTitleIsUsed) {
    answer_with(QMessageBox::Ok);
    POPMSG("x", 1, std::string("Errore"));
    EXPECT_EQ(seen.title, "Errore");
}

TEST_F(MessageBoxTest, OkCancelTypesAnswerTrueOnlyForOk) {
    for (int type : {2, 6}) {
        answer_with(QMessageBox::Ok);
        EXPECT_EQ(POPMSG("?", type), 1) << type;
        answer_with(QMessageBox::Cancel);
        EXPECT_EQ(POPMSG("?", type), 0) << type;
    }
    EXPECT_EQ(seen.icon, QMessageBox::Critical);  // type 6: the stop icon
}

TEST_F(MessageBoxTest, YesNoCancelAnswersTheWindowsButtonCode) {
    answer_with(QMessageBox::Yes);
    EXPECT_EQ(POPMSG("?", 3), 6);
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    answer_with(QMessageBox::No);
    EXPECT_EQ(POPMSG("?", 3), 7);
    answer_with(QMessageBox::Cancel);
    EXPECT_EQ(POPMSG("?", 3), 2);
}

TEST_F(MessageBoxTest, YesNoTypesAndTheirDefaultButtons) {
    answer_with(QMessageBox::Yes);
    EXPECT_EQ(POPMSG("?", 4), 1);
    answer_with(QMessageBox::No);
    EXPECT_EQ(POPMSG("?", 4), 0);
    answer_with(QMessageBox::NoButton);  // Enter
    EXPECT_EQ(POPMSG("?", 4), 1);
    EXPECT_EQ(seen.default_button, QMessageBox::Yes);
    answer_with(QMessageBox::NoButton);  // Enter answers No on type 5
    EXPECT_EQ(POPMSG("?", 5), 0);
    EXPECT_EQ(seen.default_button, QMessageBox::No);
}

TEST_F(MessageBoxTest, TypeOutsideOneToSixShowsNothing) {
    answer_with(QMessageBox::Ok);
    for (int type : {0, 7, 9, -1}) EXPECT_EQ(POPMSG("x", type), std::nullopt);
    EXPECT_FALSE(seen.shown);
}

TEST(MessageText, OemTextIsConvertedToAnsiBeforeTheLineBreaks) {
    // 0x85 is a grave a in code page 850, 0xE0 in Windows-1252; 0x8D is a grave i.
    EXPECT_EQ(kv::util::message_text("citt\x85;cos\x8D"), "citt\xE0\r\ncos\xEC");
    // Without a byte in 0x81..0xA8 the text is taken as it is.
    EXPECT_EQ(kv::util::message_text("pi\xF9"), "pi\xF9");
    EXPECT_EQ(kv::util::message_text(";;"), "\r\n\r\n");
}

TEST(KeyState, HeldOnlyWhileDown) {
    kv::platform::release_all_keys();
    EXPECT_FALSE(kv::util::GETASYNCKEYSTATE(27));
    kv::platform::set_key_down(27, true);
    EXPECT_TRUE(kv::util::GETASYNCKEYSTATE(27));
    kv::platform::set_key_down(27, false);
    EXPECT_FALSE(kv::util::GETASYNCKEYSTATE(27));
}

TEST(KeyState, KeysPressedInTheProgramsWindowsAreTracked) {
    kv::platform::release_all_keys();
    kv::gui::install_key_tracker(*qApp);
    QWidget w;
    w.show();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F4, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
    EXPECT_TRUE(kv::util::GETASYNCKEYSTATE(115));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_F4, Qt::NoModifier);
    QApplication::sendEvent(&w, &release);
    EXPECT_FALSE(kv::util::GETASYNCKEYSTATE(115));
}

}  // namespace
