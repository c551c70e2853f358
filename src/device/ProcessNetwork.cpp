#include "ProcessNetwork.h"

#include "NetworkDescription.h"

#include <QFileInfo>
#include <QStandardPaths>

// The sample network is a resource of this static library: register it explicitly,
// as nothing else references the resource's object file.
static void initSampleResource()
{
    Q_INIT_RESOURCE(device_resources);
}

namespace tkl {

ProcessNetwork::ProcessNetwork() = default;

ProcessNetwork::ProcessNetwork(NetworkCatalogue catalogue)
    : NetworkCatalogue(std::move(catalogue))
{
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::fromJson(const QByteArray &json, const QString &sourceName,
                                                         QString *error)
{
    auto catalogue = NetworkDescription::fromJson(json, sourceName, error);
    return catalogue ? std::make_unique<ProcessNetwork>(std::move(*catalogue)) : nullptr;
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::fromFile(const QString &path, QString *error)
{
    auto catalogue = NetworkDescription::fromFile(path, error);
    return catalogue ? std::make_unique<ProcessNetwork>(std::move(*catalogue)) : nullptr;
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::builtIn()
{
    initSampleResource();
    QString error;
    auto network = fromFile(QStringLiteral(":/tkl/device/sample-network.json"), &error);
    // The sample is part of the build and checked by the tests.
    Q_ASSERT_X(network, "ProcessNetwork::builtIn", qPrintable(error));
    return network ? std::move(network) : std::make_unique<ProcessNetwork>();
}

QString ProcessNetwork::userFilePath()
{
    const QString env = qEnvironmentVariable("TKL_NETWORK");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/network.json");
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::load(QString *error)
{
    const QString path = userFilePath();
    // A path named explicitly must exist; the default place is optional.
    auto network = !qEnvironmentVariableIsEmpty("TKL_NETWORK") || QFileInfo::exists(path) ? fromFile(path, error)
                                                                                          : builtIn();
    if (network)
        network->attachStore(defaultStorePath());
    return network;
}

QString ProcessNetwork::defaultStorePath()
{
    const QString env = qEnvironmentVariable("TKL_DEVICE_STORE");
    if (!env.isEmpty())
        return env;
    // Not the program's own data folder: the editor, the command-line tool and any other
    // program on the plant's network must find the same devices.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/tkledit/devices.json");
}

} // namespace tkl
