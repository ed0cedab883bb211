#include <stdexcept>
#include <string>

#include <QObject>

#include <gtest/gtest.h>

#include "shell/InterfaceTexts.h"

namespace talvo {
namespace {

TEST(InterfaceTexts, RunsEveryWindowInOrderAndStopsAtAFailureKeepingWhatWasWritten) {
    InterfaceTexts texts;
    QObject a, b, c;
    std::string log;
    texts.Register(&a, [&] { log += 'a'; });
    texts.Register(&b, [&] {
        log += 'b';
        if (log.size() > 2) throw std::runtime_error("control gone");
    });
    texts.Register(&c, [&] { log += 'c'; });

    EXPECT_EQ(texts.runCount(), 0);
    texts.ApplyTexts();
    EXPECT_EQ(log, "abc");
    // The second run fails in b: c is not written, a and b keep what they wrote, no exception
    // leaves ApplyTexts.
    EXPECT_NO_THROW(texts.ApplyTexts());
    EXPECT_EQ(log, "abcab");
    EXPECT_EQ(texts.runCount(), 2);
}

TEST(InterfaceTexts, SkipsAWindowThatNoLongerExists) {
    InterfaceTexts texts;
    int calls = 0;
    QObject kept;
    {
        QObject gone;
        texts.Register(&gone, [&] { calls += 100; });
    }
    texts.Register(&kept, [&] { calls += 1; });
    texts.ApplyTexts();
    EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace talvo
