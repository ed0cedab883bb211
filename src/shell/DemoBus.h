#pragma once
// The demonstration bus of `talvo --demo`: simulated amplifiers served on a pseudo-terminal
// (or, with --tcp, a TCP socket on the loopback address, as a serial server on the network)
// from a thread of their own inside this process. The program opens the terminal's device like
// any serial port; nothing in the link knows it is talking to a simulation.

#include <memory>
#include <thread>

#include <QString>

namespace talvo {

namespace sim {
class Bus;
class SerialServer;
}  // namespace sim

class DemoBus {
public:
    // Two amplifiers: ID 1 and ID 3 (sub-address 1 each). Null, with the reason, when no
    // pseudo-terminal (or listening socket) can be made.
    static std::unique_ptr<DemoBus> Start(QString *error, bool overTcp = false);
    ~DemoBus();
    DemoBus(const DemoBus &) = delete;
    DemoBus &operator=(const DemoBus &) = delete;

    // The device path, or tcp://127.0.0.1:PORT.
    QString devicePath() const;

private:
    DemoBus() = default;

    std::unique_ptr<sim::Bus> bus_;
    std::unique_ptr<sim::SerialServer> server_;
    std::thread thread_;
};

}  // namespace talvo
