#pragma once

#include "files/LayoutData.h"
#include "files/LayoutWriter.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

namespace tkl::test {

/// A network with one bound variable, a port that stores few lines (to make a download
/// fail) and one that stores many.
inline const QByteArray cliNetwork = R"({
  "nodes": [
    { "name": "Scale1", "address": "NET1.ST03", "capabilities": "17 weighing terminal",
      "variables": [
        { "name": "NetWeight", "internalAddress": 120, "offset": 0, "subDataType": 4, "bitNo": 0,
          "simulation": { "fixed": 1234.56 } },
        { "name": "Tare", "internalAddress": 122, "offset": 8, "subDataType": 4, "bitNo": 2,
          "simulation": { "fixed": -12.5 } } ] },
    { "name": "PrinterModule", "address": "NET1.ST07", "capabilities": "65 ticket printer", "variables": [] } ],
  "ports": [
    { "name": "Printer1", "node": "PrinterModule" },
    { "name": "Small", "node": "PrinterModule", "ticketLines": 1 } ]
})";

/// The outcome of one run of the tool.
struct CliRun
{
    int exitCode = -1;
    bool crashed = false;
    QByteArray out;
    QByteArray err;

    QStringList outLines() const { return lines(out); }
    QStringList errLines() const { return lines(err); }

    static QStringList lines(const QByteArray &bytes)
    {
        QStringList l = QString::fromUtf8(bytes).split(u'\n');
        if (!l.isEmpty() && l.last().isEmpty())
            l.removeLast();
        return l;
    }
};

/// Runs the built tool with a private network description and device store.
class CliRunner
{
public:
    CliRunner()
    {
        QVERIFY(m_dir.isValid());
        writeFile(networkPath(), cliNetwork);
    }

    QString path(const QString &name) const { return m_dir.filePath(name); }
    QString networkPath() const { return path(QStringLiteral("network.json")); }
    QString storePath() const { return path(QStringLiteral("devices.json")); }

    static void writeFile(const QString &file, const QByteArray &bytes)
    {
        QFile f(file);
        QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(file));
        QCOMPARE(f.write(bytes), bytes.size());
    }

    /// Writes `layout` with the editor's writer and returns its path.
    QString writeLayout(const QString &name, const LayoutData &layout) const
    {
        QByteArray bytes;
        const auto error = LayoutWriter::toBytes(layout, bytes);
        if (error)
            qWarning("layout refused: %s", qPrintable(error->message));
        const QString file = path(name);
        writeFile(file, bytes);
        return file;
    }

    CliRun run(const QStringList &args, int timeoutMs = 30000) const
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TKL_NETWORK"), networkPath());
        env.insert(QStringLiteral("TKL_DEVICE_STORE"), storePath());
        // Nothing of the user's own configuration may leak in.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path(QStringLiteral("data")));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TKLCLI_PATH), args);
        CliRun result;
        if (!process.waitForFinished(timeoutMs)) {
            process.kill();
            process.waitForFinished();
            result.crashed = true;
        }
        result.crashed = result.crashed || process.exitStatus() != QProcess::NormalExit;
        result.exitCode = process.exitCode();
        result.out = process.readAllStandardOutput();
        result.err = process.readAllStandardError();
        return result;
    }

private:
    QTemporaryDir m_dir;
};

/// The base layout of the tests: 40 characters per line, two text lines, slot 1 bound
/// to Scale1.NetWeight as binding it now would store, slot 2 to Scale1.Tare.
inline LayoutData cleanLayout()
{
    LayoutData layout;
    layout.EditorWidth = 5170;  // 40 characters per line
    layout.EditorHeight = 3155;
    layout.TicketLines = 3;
    layout.text = QStringLiteral("WEIGHT TICKET\r\nNet:           kg\r\nTare:          kg");
    layout.UpdateBoxes[1] = UpdateBox{QStringLiteral("Scale1.NetWeight"), 3, 120, 0, 4, 0, 17, 0, 9, 2, true, 1, 6};
    layout.UpdateBoxes[2] = UpdateBox{QStringLiteral("Scale1.Tare"), 3, 122, 8, 4, 2, 17, 0, 9, 1, true, 2, 6};
    layout.BoxLoaded[1] = 1;
    layout.BoxLoaded[2] = 1;
    layout.StartCode = QStringLiteral("[27]@");
    return layout;
}

} // namespace tkl::test
