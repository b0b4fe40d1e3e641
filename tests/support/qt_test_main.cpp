// Entry point of every test program: a Qt application on the offscreen platform around GoogleTest,
// so that code which pumps events, opens boxes or shows windows runs as it does in the program.
#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

#include "gui/message_box.h"

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    // A box that no test expected fails the test and is answered, instead of waiting for ever.
    kv::gui::set_fallback_box_answerer([](QMessageBox& box, const kv::gui::BoxRequest&) {
        ADD_FAILURE() << "unexpected message box: " << box.text().toStdString();
        if (auto* b = box.defaultButton())
            b->click();
        else
            box.reject();
    });
    return RUN_ALL_TESTS();
}
