#include "ValuesFile.h"

#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace tkl {

namespace {

// A line shown in an error: long lines cut, so one bad line cannot flood a terminal.
QString shown(QStringView line)
{
    constexpr qsizetype most = 80;
    return line.size() > most ? line.left(most).toString() + QStringLiteral("...") : line.toString();
}

QString problemOf(QStringView line, QString *name, double *value)
{
    for (QChar c : line) {
        if ((c.unicode() < 32 && c != QLatin1Char('\t')) || c.unicode() == 127)
            return QStringLiteral("control character");
        if (c == QChar::ReplacementCharacter)
            return QStringLiteral("not UTF-8 text");
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return QStringLiteral("expected name=value");
    *name = line.left(eq).trimmed().toString();
    if (name->isEmpty())
        return QStringLiteral("no name before \"=\"");
    const QStringView text = line.mid(eq + 1).trimmed();
    if (text.isEmpty())
        return QStringLiteral("no value after \"=\"");
    bool ok = false;
    *value = text.toDouble(&ok);
    if (!ok || !std::isfinite(*value))
        return QStringLiteral("\"%1\" is not a number").arg(shown(text));
    return {};
}

} // namespace

Result<ValuesFile::Values> ValuesFile::parse(QByteArrayView bytes)
{
    Values result;
    // Editors on some systems begin UTF-8 files with a byte order mark: fromUtf8()
    // drops it.
    const QString text = QString::fromUtf8(bytes);
    const QStringView all(text);
    qsizetype start = 0;
    int lineNo = 0;
    while (start < all.size()) {
        ++lineNo;
        qsizetype end = start;
        while (end < all.size() && all.at(end) != QLatin1Char('\n') && all.at(end) != QLatin1Char('\r'))
            ++end;
        const QStringView line = all.mid(start, end - start);
        start = end;
        if (start < all.size()) {
            const bool crLf = all.at(start) == QLatin1Char('\r') && start + 1 < all.size()
                && all.at(start + 1) == QLatin1Char('\n');
            start += crLf ? 2 : 1;
        }

        const QStringView trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
            continue;
        QString name;
        double value = 0;
        const QString problem = problemOf(trimmed, &name, &value);
        if (!problem.isEmpty())
            return Failure{QStringLiteral("line %1: %2: %3").arg(lineNo).arg(problem, shown(line))};
        result.insert(name, value);
    }
    return result;
}

Result<ValuesFile::Values> ValuesFile::read(const QString &path)
{
    const auto fail = [&](const QString &what) { return Failure{QStringLiteral("%1: %2").arg(path, what)}; };
    const QFileInfo info(path);
    if (info.isDir())
        return fail(QStringLiteral("is a folder, not a values file"));
    // A pipe or a device could block or never end.
    if (info.exists() && !info.isFile())
        return fail(QStringLiteral("is a pipe or device, not a values file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    if (file.size() > MaxFileSize)
        return fail(QStringLiteral("larger than %1 bytes").arg(MaxFileSize));
    const QByteArray bytes = file.read(MaxFileSize + 1);
    if (bytes.size() > MaxFileSize)
        return fail(QStringLiteral("larger than %1 bytes").arg(MaxFileSize));
    Result<Values> values = parse(bytes);
    if (!values.ok())
        return fail(values.error().message);
    return values;
}

} // namespace tkl
