#include "shell/DemoBus.h"

#include "sim/Bus.h"
#include "sim/SerialServer.h"

namespace talvo {

std::unique_ptr<DemoBus> DemoBus::Start(QString *error, bool overTcp) {
    std::unique_ptr<DemoBus> demo(new DemoBus);
    demo->bus_ = std::make_unique<sim::Bus>();
    sim::AmplifierConfig first;
    first.id = 1;
    demo->bus_->addAmplifier(first);
    sim::AmplifierConfig second;
    second.id = 3;
    second.firmwareMinor = 6;
    second.bridgeAvailable = false;
    demo->bus_->addAmplifier(second);

    demo->server_ = overTcp ? sim::SerialServer::listenTcp(QStringLiteral("127.0.0.1"), 0, error)
                            : sim::SerialServer::openPseudoTerminal(error);
    if (!demo->server_) return nullptr;
    // The server sleeps in poll() until bytes arrive or a reply is due; it costs nothing idle.
    demo->thread_ = std::thread([server = demo->server_.get(), bus = demo->bus_.get()] { server->serve(*bus); });
    return demo;
}

DemoBus::~DemoBus() {
    if (server_) server_->requestStop();
    if (thread_.joinable()) thread_.join();
}

QString DemoBus::devicePath() const { return server_ ? server_->devicePath() : QString(); }

}  // namespace talvo
