// Entry point of every test program: a Qt application on the offscreen platform around GoogleTest,
// so that code which pumps events, opens boxes or shows windows runs as it does in the program.
#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
