// Feeds arbitrary bytes to the reader of preview values files. Besides crashes, leaks
// and hangs it checks that the result is consistent and that what was read, written as
// a values file again, reads back the same.
#include "preview/ValuesFile.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tkl;

namespace {

[[noreturn]] void fault(const char *what)
{
    std::fprintf(stderr, "values fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto file = ValuesFile::parse(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!file.ok()) {
        if (!file.error().message.startsWith(QLatin1String("line ")))
            fault("a refusal that does not name its line");
        return 0;
    }

    // A comment first: a name never begins the file.
    QString text = QStringLiteral("# again\n");
    for (auto it = file->constBegin(); it != file->constEnd(); ++it)
        text += it.key() + u'=' + QString::number(it.value(), 'g', 17) + u'\n';
    const auto again = ValuesFile::parse(text.toUtf8());
    if (!again.ok())
        fault("values that were read cannot be read again");
    if (*again != *file)
        fault("values read again differ");
    return 0;
}
