#pragma once
// One run of a procedure on the link (the connect procedure, the bus search): one at a time,
// stopped by the operator between its steps, and ended by a port lost under it.
//
// The procedures run on the main thread and their waits keep the event loop running, so the
// stop arrives from a button or a closing window while the procedure waits; the procedure looks
// after each wait whether to go on. Only ever one run: a second start while one runs is
// ignored, as the buttons that start them are disabled meanwhile.

#include "link/Link.h"

namespace talvo {

class ProcedureRun {
public:
    explicit ProcedureRun(Link &link) : link_(link) {}
    ProcedureRun(const ProcedureRun &) = delete;
    ProcedureRun &operator=(const ProcedureRun &) = delete;

    // The opening check: false while a run is on (nothing changes); otherwise a run starts with
    // no stop asked for.
    [[nodiscard]] bool Begin()
    {
        if (running_)
            return false;
        running_ = true;
        stopRequested_ = false;
        return true;
    }
    // The run is over; a stop asked for during it does not reach the next one.
    void End()
    {
        running_ = false;
        stopRequested_ = false;
    }
    bool IsRunning() const { return running_; }

    // Asks the running procedure to stop after the wait it is in. Without a run it does nothing.
    void RequestStop()
    {
        if (running_)
            stopRequested_ = true;
    }
    bool StopRequested() const { return stopRequested_; }
    // The procedure ends here: the operator asked for it, or the port is gone.
    bool Stopping() const { return stopRequested_ || link_.PortLost(); }

    // One timed step: waits ms with the event loop running unless the procedure is stopping
    // already, and returns early when the port is lost. True when the procedure goes on.
    bool Wait(double ms)
    {
        if (!Stopping())
            link_.WaitUnlessLost(ms);
        return !Stopping();
    }

private:
    Link &link_;
    bool running_ = false;
    bool stopRequested_ = false;
};

}  // namespace talvo
