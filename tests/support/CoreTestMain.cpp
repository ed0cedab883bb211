// For test programs whose code waits with the Qt event loop running: every case needs an
// application object.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include "link/Clock.h"

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The simulated bus runs in threads of the test process: a thread a loaded machine wakes
    // late holds the clock instead of missing a window (see Clock's holds). TALVO_NO_HOLDS=1
    // turns them off, to tell whether a failure comes from the machine's load.
    talvo::Clock::enableHolds(!qEnvironmentVariableIsSet("TALVO_NO_HOLDS"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
