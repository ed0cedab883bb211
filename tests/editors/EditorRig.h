#pragma once
// The editor models of both channels, connected to one simulated amplifier (ID 1) on a
// pseudo-terminal, with the clock sped up, and the frames the amplifier received.

#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "editors/DelayModel.h"
#include "editors/EditorModels.h"
#include "editors/EditorTimer.h"
#include "editors/GainModel.h"
#include "editors/LimiterModel.h"
#include "editors/ModeController.h"
#include "link/Clock.h"
#include "link/Link.h"
#include "state/AppState.h"
#include "state/ProgramApply.h"
#include "tests/support/SimLine.h"

namespace talvo::testing {

// A frame as the amplifier received it: command and data bytes.
struct Sent {
    int command = 0;
    std::vector<int> data;
    friend bool operator==(const Sent &, const Sent &) = default;
};

inline void PrintTo(const Sent &s, std::ostream *os)
{
    *os << s.command << " [";
    for (std::size_t i = 0; i < s.data.size(); ++i)
        *os << (i ? " " : "") << s.data[i];
    *os << "]";
}

inline std::vector<Sent> SentFrames(const std::vector<sim::FrameRecord> &frames)
{
    std::vector<Sent> out;
    for (const auto &f : frames)
        out.push_back({f.frame.command, std::vector<int>(f.frame.data.begin(), f.frame.data.begin() + f.frame.length)});
    return out;
}

class ClockSpeed {
public:
    explicit ClockSpeed(double speed) { Clock::setSpeed(speed); }
    ~ClockSpeed() { Clock::setSpeed(1.0); }
};

using testsupport::PatientBus;

inline sim::AmplifierConfig SilentAmplifier()
{
    sim::AmplifierConfig c;
    c.faults.noAnswer = true;
    return c;
}

struct EditorRig {
    // The speed first: the models' timers take their intervals from it.
    ClockSpeed speed;
    testsupport::SimLine line;
    AppState state;
    Link link{state.link};
    ProgramApplier applier{state};
    EditorModels models{state, link, applier};

    explicit EditorRig(double clockSpeed = 4, sim::AmplifierConfig amplifier = sim::AmplifierConfig())
        : speed(clockSpeed), line({amplifier}, PatientBus())
    {
        link.SetDeviceOverride(line.devicePath());
        EXPECT_TRUE(link.OpenPort()) << link.LastOpenFailure().toStdString();
        // As the connect procedure leaves the link: sending enabled, amplifier 1 connected.
        state.link.outFrame.address = 1;
        state.link.sendEnabled.store(1);
        state.link.linkActive = kYes;
    }

    GainModel &gain(int ch) { return models.gain(ch); }
    DelayModel &delay(int ch) { return models.delay(ch); }
    LimiterModel &limiter(int ch) { return models.limiter(ch); }
    ModeController &modes() { return models.modes(); }

    // Everything queued has left the wire.
    void idle() { ASSERT_TRUE(link.WaitForIdle(20000)); }

    // Waits for the queue to drain, stops the bus and gives what the amplifier received.
    std::vector<Sent> finish()
    {
        EXPECT_TRUE(link.WaitForIdle(20000));
        line.stop();
        return SentFrames(line.frames());
    }
    sim::Amplifier &amplifier() { return line.bus().amplifier(0); }
};

inline const char *SideName(int channel)
{
    return channel == kLeftChannel ? "Left" : "Right";
}

}  // namespace talvo::testing
