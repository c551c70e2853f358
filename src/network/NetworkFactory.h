#pragma once

#include "device/AutomationFactory.h"

namespace tkl {

class ProcessNetwork;

/// The automation objects of a ProcessNetwork, which must outlive the factory and its
/// objects: a port whose node has a Modbus endpoint gets a ModbusServer (a real device,
/// over TCP or a serial line), any other port, and no port at all, the SimulatedServer
/// over the network's simulated devices.
class NetworkFactory : public AutomationFactory
{
public:
    explicit NetworkFactory(ProcessNetwork &network);

    const NetworkCatalogue &catalogue() const override;
    void simulatedDownloadEnded(const QString &port, bool finished) override;

    ProcessNetwork &network() const { return m_network; }

protected:
    std::unique_ptr<AutomationObject> makeServer(const QString &port) override;

private:
    ProcessNetwork &m_network;
};

} // namespace tkl
