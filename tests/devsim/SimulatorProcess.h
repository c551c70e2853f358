#pragma once

// Starts tkldevsim on a free loopback port with a description of its own, and stops it.

#include "support/LoopbackPort.h"
#include "support/ToolProcess.h"

#include <QTest>

namespace tkl::testing {

// A printer module node at a Modbus endpoint on 127.0.0.1 at `port` with two printer
// ports, Printer1 (the defaults) and the small Printer2 (unit 2, also at base 0); a bench
// node with the simulated port Local, sized like Printer1; and a scale with one variable.
inline QByteArray modbusNetwork(int port)
{
    return QStringLiteral(R"({
  "nodes": [
    { "name": "Scale1", "address": "NET1.ST03", "capabilities": "17 weighing terminal",
      "variables": [ { "name": "NetWeight", "internalAddress": 120, "offset": 0, "subDataType": 4,
                       "bitNo": 0, "simulation": { "fixed": 1234.56 } } ] },
    { "name": "PrinterModule", "address": "NET1.ST07", "capabilities": "65 ticket printer", "variables": [],
      "modbus": { "host": "127.0.0.1", "port": %1 } },
    { "name": "Bench", "address": "NET1.ST09", "capabilities": "65 ticket printer", "variables": [] } ],
  "ports": [
    { "name": "Printer1", "node": "PrinterModule", "modbus": { "unit": 1, "base": 0 } },
    { "name": "Printer2", "node": "PrinterModule", "ticketLines": 5, "stringLength": 40,
      "modbus": { "unit": 2, "base": 0 } },
    { "name": "Local", "node": "Bench" } ]
})")
        .arg(port)
        .toUtf8();
}

class SimulatorProcess : public tkl::test::ToolFolder
{
public:
    SimulatorProcess() = default;
    ~SimulatorProcess() { stop(); }

    // Writes `description` and starts the simulator on it with `options`; true once it
    // says it is ready.
    bool start(const QByteArray &description, const QStringList &options = {})
    {
        if (!tkl::test::writeFile(networkPath(), description))
            return false;
        m_process.setProgram(QStringLiteral(TKLDEVSIM_PATH));
        m_process.setArguments(QStringList{QStringLiteral("--network"), networkPath()} + options);
        m_process.start();
        return m_process.waitForStarted() && outputWith("tkldevsim: ready").contains("tkldevsim: ready");
    }

    // Stops it the way an operator does (SIGTERM); true when it stopped cleanly.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished();
            return false;
        }
        m_output += m_process.readAllStandardOutput();
        return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == 0;
    }

    // Everything it printed so far, once it has printed `text` (or after 5 seconds).
    QByteArray outputWith(const QByteArray &text)
    {
        while (!m_output.contains(text) && m_process.waitForReadyRead(5000))
            m_output += m_process.readAllStandardOutput();
        return m_output;
    }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace tkl::testing
