#pragma once
// Simulated amplifiers on a pseudo-terminal, served by the simulator's own loop in a thread of
// the test process: the far end of a real serial line for the link, the procedures and windows.

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <QString>

#include <gtest/gtest.h>

#include "sim/Bus.h"
#include "sim/BusRecord.h"
#include "sim/SerialServer.h"

namespace talvo::testsupport {

// A bus whose amplifiers wait for the rest of a frame however long the sender stalls between
// two bytes. Their receivers give a frame up after 0.5 s of silence, which a sped-up clock
// shrinks to a stall a busy machine easily has; for tests that never leave a frame half sent.
inline sim::BusOptions PatientBus()
{
    sim::BusOptions options;
    options.interByteTimeoutMs = 0;
    return options;
}

// How the program reaches the simulated bus: a pseudo-terminal, or a serial server on the
// loopback address (devicePath() is then tcp://127.0.0.1:PORT).
enum class SimTransport { PseudoTerminal, Tcp };

// For tests that run over both: readable names, and both values.
inline std::string SimTransportName(const ::testing::TestParamInfo<SimTransport> &info)
{
    return info.param == SimTransport::Tcp ? "Tcp" : "PseudoTerminal";
}
inline auto BothSimTransports()
{
    return ::testing::Values(SimTransport::PseudoTerminal, SimTransport::Tcp);
}

// Several amplifiers on a pseudo-terminal, served by the simulator's own loop in a thread.
// The bus and its record may be looked at only after stop().
class SimLine {
public:
    explicit SimLine(std::vector<sim::AmplifierConfig> amplifiers = {sim::AmplifierConfig()},
                     const sim::BusOptions &options = sim::BusOptions(),
                     SimTransport transport = SimTransport::PseudoTerminal)
        : bus_(options)
    {
        for (const auto &config : amplifiers)
            bus_.addAmplifier(config);
        QString error;
        server_ = transport == SimTransport::Tcp ? sim::SerialServer::listenTcp(QStringLiteral("127.0.0.1"), 0, &error)
                                                 : sim::SerialServer::openPseudoTerminal(&error);
        if (!server_) {
            ADD_FAILURE() << "no simulated line: " << error.toStdString();
            return;
        }
        thread_ = std::thread([this] { server_->serve(bus_); });
    }
    ~SimLine() { stop(); }
    SimLine(const SimLine &) = delete;
    SimLine &operator=(const SimLine &) = delete;

    QString devicePath() const { return server_ ? server_->devicePath() : QString(); }

    void stop()
    {
        if (thread_.joinable()) {
            server_->requestStop();
            thread_.join();
            bus_.flush();
        }
    }

    // Hangs up the line now, as a simulator that ends does: the program's port reports a
    // hang-up and the device disappears. The bus and its record may be looked at afterwards.
    void hangUp()
    {
        if (thread_.joinable()) {
            server_->requestHangUp();
            thread_.join();
            bus_.flush();
        }
    }
    // Hangs up by itself once the program has written this many bytes in all (mid-frame when
    // the count ends inside one). Call before anything is sent.
    void hangUpAfterReceiving(qint64 byteCount)
    {
        if (server_)
            server_->hangUpAfterReceiving(byteCount);
    }
    // Hangs up by itself once a frame that `matches` has been received whole.
    void hangUpAtFrame(std::function<bool(const sim::FrameRecord &)> matches)
    {
        if (server_)
            server_->hangUpAtFrame(std::move(matches));
    }
    // Stops (or resumes) the flow of the program's output: its writes find no room.
    bool stallProgramOutput(bool stalled) { return server_ && server_->stallProgramOutput(stalled); }

    sim::Bus &bus() { return bus_; }
    const std::vector<sim::FrameRecord> &frames() { return bus_.record().frames; }

private:
    sim::Bus bus_;
    std::unique_ptr<sim::SerialServer> server_;
    std::thread thread_;
};

}  // namespace talvo::testsupport
