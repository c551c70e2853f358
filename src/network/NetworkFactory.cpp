#include "NetworkFactory.h"

#include "ProcessNetwork.h"
#include "modbus/ModbusServer.h"
#include "simulated/SimulatedServer.h"

namespace tkl {

NetworkFactory::NetworkFactory(ProcessNetwork &network)
    : m_network(network)
{
}

const NetworkCatalogue &NetworkFactory::catalogue() const
{
    return m_network;
}

void NetworkFactory::simulatedDownloadEnded(const QString &port, bool finished)
{
    m_network.recordDownloadEnd(port, finished);
    m_network.saveStore();
}

std::unique_ptr<AutomationObject> NetworkFactory::makeServer(const QString &port)
{
    if (const PrinterPort *p = port.isEmpty() ? nullptr : m_network.findPort(port)) {
        if (const ModbusEndpoint *endpoint = m_network.endpointOf(*p)) {
            // What is not this port's device (network variables, attributes, other ports)
            // the simulated network answers.
            return std::make_unique<ModbusServer>(m_network, *p, *endpoint,
                                                  std::make_unique<SimulatedServer>(m_network.devices()));
        }
    }
    return std::make_unique<SimulatedServer>(m_network.devices());
}

} // namespace tkl
