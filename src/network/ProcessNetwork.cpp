#include "ProcessNetwork.h"

#include "device/NetworkDescription.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

// The sample network is a resource of this static library: register it explicitly,
// as nothing else references the resource's object file.
static void initSampleResource()
{
    Q_INIT_RESOURCE(network_resources);
}

namespace tkl {

ProcessNetwork::ProcessNetwork() = default;

ProcessNetwork::ProcessNetwork(NetworkCatalogue catalogue)
    : NetworkCatalogue(std::move(catalogue))
{
}

namespace {

Result<std::unique_ptr<ProcessNetwork>> networkOf(Result<NetworkCatalogue> catalogue)
{
    if (!catalogue.ok())
        return catalogue.error();
    return std::make_unique<ProcessNetwork>(std::move(catalogue).value());
}

} // namespace

Result<std::unique_ptr<ProcessNetwork>> ProcessNetwork::fromJson(const QByteArray &json, const QString &sourceName)
{
    return networkOf(NetworkDescription::fromJson(json, sourceName));
}

Result<std::unique_ptr<ProcessNetwork>> ProcessNetwork::fromFile(const QString &path)
{
    return networkOf(NetworkDescription::fromFile(path));
}

std::unique_ptr<ProcessNetwork> ProcessNetwork::builtIn()
{
    initSampleResource();
    auto network = fromFile(QStringLiteral(":/tkl/network/sample-network.json"));
    // The sample is part of the build and checked by the tests.
    Q_ASSERT_X(network.ok(), "ProcessNetwork::builtIn", qPrintable(network.error().message));
    return network.ok() ? std::move(network).value() : std::make_unique<ProcessNetwork>();
}

QString ProcessNetwork::userFilePath()
{
    const QString env = qEnvironmentVariable("TKL_NETWORK");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) + QStringLiteral("/network.json");
}

Result<std::unique_ptr<ProcessNetwork>> ProcessNetwork::load()
{
    const QString path = userFilePath();
    // A path named explicitly must exist; the default place is optional.
    Result<std::unique_ptr<ProcessNetwork>> network =
        !qEnvironmentVariableIsEmpty("TKL_NETWORK") || QFileInfo::exists(path) ? fromFile(path) : builtIn();
    if (network.ok())
        network.value()->attachStore(defaultStorePath());
    return network;
}

QString ProcessNetwork::defaultStorePath()
{
    const QString env = qEnvironmentVariable("TKL_DEVICE_STORE");
    if (!env.isEmpty())
        return env;
    // The state folder as the base directory rules define it: a relative value is ignored.
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    const QString path = state + QStringLiteral("/tkledit/devices.json");
    const QString earlier = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/tkledit/devices.json");
    if (!QFileInfo::exists(path) && QFileInfo::exists(earlier)) {
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !QFile::rename(earlier, path))
            return earlier;
    }
    return path;
}

} // namespace tkl
