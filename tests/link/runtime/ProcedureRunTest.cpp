// One run of a link procedure (connect, search) at a time, and a stop that reaches only the run
// it was asked for during: a Cancel or an OK pressed while nothing runs must not cut the next
// connect or search short, and a second start while one runs must not undo a stop.

#include <gtest/gtest.h>

#include "link/Link.h"
#include "link/ProcedureRun.h"

namespace talvo::testing {
namespace {

TEST(ProcedureRun, AStopReachesOnlyTheRunItWasAskedForDuring)
{
    LinkState state;
    Link link(state);
    ProcedureRun run(link);

    // Asked for while nothing runs: the next run goes on.
    run.RequestStop();
    ASSERT_TRUE(run.Begin());
    EXPECT_FALSE(run.StopRequested());
    EXPECT_FALSE(run.Stopping());
    EXPECT_TRUE(run.Wait(1));

    // Asked for during a run: that run stops at its next step, and a start meanwhile is refused
    // without taking the stop away.
    run.RequestStop();
    EXPECT_FALSE(run.Begin());
    EXPECT_TRUE(run.IsRunning());
    EXPECT_TRUE(run.StopRequested());
    EXPECT_TRUE(run.Stopping());
    EXPECT_FALSE(run.Wait(1));
    run.End();
    EXPECT_FALSE(run.IsRunning());

    // The next run starts without it.
    ASSERT_TRUE(run.Begin());
    EXPECT_FALSE(run.StopRequested());
    EXPECT_TRUE(run.Wait(1));
    run.End();
}

}  // namespace
}  // namespace talvo::testing
