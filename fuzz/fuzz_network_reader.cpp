// Feeds arbitrary bytes to the network description reader. Besides crashes, leaks and
// hangs it checks that a refusal says why and names the source, and that whatever is
// read can be looked up by every name it has.
#include "network/ProcessNetwork.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tkl;

namespace {

[[noreturn]] void fault(const char *what)
{
    std::fprintf(stderr, "network fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto read = ProcessNetwork::fromJson(bytes, QStringLiteral("fuzz.json"));
    if (!read.ok()) {
        const QString &error = read.error().message;
        if (!error.startsWith(QLatin1String("fuzz.json")) || error.size() <= 10)
            fault("a refusal that does not say where and why");
        return 0;
    }
    const std::unique_ptr<ProcessNetwork> &network = *read;
    for (const NetworkVariable &v : network->variables()) {
        if (network->findVariable(v.fullName) != &v)
            fault("a variable that cannot be found by its name");
    }
    for (const PrinterPort &p : network->ports()) {
        if (network->findPort(p.name) != &p)
            fault("a port that cannot be found by its name");
        if (!network->findDeviceVariable(p.name + QStringLiteral(".lines")))
            fault("a port without its line count");
    }
    return 0;
}
