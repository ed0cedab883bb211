// The windows need a QApplication before any test runs; they run on the offscreen platform
// unless told otherwise, so no display is needed (the test listing at build time included).

#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char **argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
