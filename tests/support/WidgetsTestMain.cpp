// For test programs that drive windows: a QApplication exists before any test runs. They run
// on the offscreen platform unless told otherwise, so no display is needed (the test listing
// at build time included).
#include <QApplication>

#include <gtest/gtest.h>

#include "link/Clock.h"

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The simulated bus runs in threads of the test process: a thread a loaded machine wakes
    // late holds the clock instead of missing a window (see Clock's holds).
    talvo::Clock::enableHolds(!qEnvironmentVariableIsSet("TALVO_NO_HOLDS"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
