#include "LayoutReader.h"

#include "CodePage1252.h"
#include "LayoutLines.h"
#include "model/Numbers.h"

#include <QIODevice>

#include <cstring>

namespace tkl {

namespace {

// Splits the file into lines one at a time; only the fixed part goes through here,
// the text is taken in one piece.
class LineCursor
{
public:
    explicit LineCursor(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }

    bool atEnd() const { return m_pos >= m_bytes.size(); }
    int linesRead() const { return m_line; }
    QByteArrayView rest() const { return m_bytes.sliced(m_pos); }

    QByteArrayView next()
    {
        const char *begin = m_bytes.data() + m_pos;
        const qsizetype left = m_bytes.size() - m_pos;
        const auto *cr = static_cast<const char *>(std::memchr(begin, '\r', size_t(left)));
        const qsizetype len = cr ? cr - begin : left;
        m_pos += len;
        if (cr) {
            ++m_pos;
            if (m_pos < m_bytes.size() && m_bytes[m_pos] == '\n')
                ++m_pos;
        }
        ++m_line;
        return QByteArrayView(begin, len);
    }

private:
    QByteArrayView m_bytes;
    qsizetype m_pos = 0;
    int m_line = 0;
};

class Parser
{
public:
    explicit Parser(QByteArrayView bytes)
        : m_lines(bytes)
    {
    }

    // The reader stops at the first bad line: from there on every getter returns a
    // default without looking at the file, and read() hands back that line's error.
    // One check at the end keeps the getters and the list of lines short.
    const std::optional<LayoutError> &failure() const { return m_failure; }

    QString string()
    {
        const QByteArrayView raw = line();
        return m_failure ? QString() : CodePage1252::decode(raw);
    }

    int integer(int min, int max)
    {
        const QByteArrayView raw = line();
        if (m_failure)
            return 0;
        if (const std::optional<int> v = plainInteger(raw); v && *v >= min && *v <= max)
            return *v;
        // Fractions, odd spellings and every error take the general road.
        const QString text = CodePage1252::decode(raw);
        const std::optional<double> value = parseDecimal(text);
        if (!value) {
            if (text.trimmed().isEmpty())
                return fail(text, expectedRange(min, max),
                            QStringLiteral("Line %1 is empty where a number is expected (%2)").arg(m_lines.linesRead()).arg(field()));
            return fail(text, expectedRange(min, max),
                        QStringLiteral("Line %1: \"%2\" is not a number (%3)").arg(m_lines.linesRead()).arg(LayoutError::quote(text), field()));
        }
        const std::optional<int> fitted = fitRounded(*value, min, max);
        if (!fitted)
            return fail(text, expectedRange(min, max),
                 // One multi-arg call: a "%n" in the quoted line must not be filled in again.
                 QStringLiteral("Line %1: \"%2\" is outside the range %3 to %4 (%5)")
                     .arg(QString::number(m_lines.linesRead()), LayoutError::quote(text), QString::number(min),
                          QString::number(max), field()));
        return *fitted;
    }

    bool boolean()
    {
        const QByteArrayView raw = line();
        if (m_failure)
            return false;
        if (raw == "True")
            return true;
        if (raw == "False")
            return false;
        const QString text = CodePage1252::decode(raw);
        const QString word = text.trimmed();
        if (word.compare(u"True", Qt::CaseInsensitive) == 0)
            return true;
        if (word.compare(u"False", Qt::CaseInsensitive) == 0)
            return false;
        if (const std::optional<double> value = parseDecimal(text))
            return *value != 0;
        return fail(text, QStringLiteral("True, False or a number"),
             QStringLiteral("Line %1: \"%2\" is neither True nor False nor a number (%3)")
                 .arg(m_lines.linesRead())
                 .arg(LayoutError::quote(text), field()));
    }

    // Everything after the stop code: the line ends become CR LF, and the end of the
    // last line is dropped because the writer added it. Nothing when a line is longer
    // or there are more lines than a device holds (see failure()).
    QString text()
    {
        QByteArrayView rest = m_lines.rest();
        if (rest.endsWith("\r\n"))
            rest.chop(2);
        else if (rest.endsWith('\r'))
            rest.chop(1);
        if (!fitsDevice(rest))
            return {};

        const auto isLoneCr = [&rest](qsizetype i) { return !(i + 1 < rest.size() && rest[i + 1] == '\n'); };
        qsizetype loneCr = 0;
        for (qsizetype i = rest.indexOf('\r'); i >= 0; i = rest.indexOf('\r', i + 1))
            loneCr += isLoneCr(i) ? 1 : 0;
        if (loneCr == 0)
            return CodePage1252::decode(rest);

        QByteArray normalized;
        normalized.reserve(rest.size() + loneCr);
        for (qsizetype i = 0; i < rest.size(); ++i) {
            normalized += rest[i];
            if (rest[i] == '\r' && isLoneCr(i))
                normalized += '\n';
        }
        return CodePage1252::decode(normalized);
    }

private:
    // Whether every line of the text is at most MaxLineLength long and there are at most
    // MaxTextLines of them; records the first line that is not.
    bool fitsDevice(QByteArrayView text)
    {
        if (text.isEmpty())
            return true;
        const int first = m_lines.linesRead() + 1;
        int lines = 0;
        qsizetype begin = 0;
        while (begin <= text.size()) {
            const auto *cr = static_cast<const char *>(
                std::memchr(text.data() + begin, '\r', size_t(text.size() - begin)));
            const qsizetype end = cr ? cr - text.data() : text.size();
            if (++lines > LayoutReader::MaxTextLines) {
                LayoutError e;
                e.line = first + LayoutReader::MaxTextLines;
                e.field = LayoutLines::fieldName(e.line);
                e.expected = QStringLiteral("at most %1 text lines").arg(LayoutReader::MaxTextLines);
                e.message = QStringLiteral("Line %1: the ticket text has more than %2 lines; no device holds more")
                                .arg(e.line)
                                .arg(LayoutReader::MaxTextLines);
                m_failure = e;
                return false;
            }
            if (end - begin > LayoutReader::MaxLineLength) {
                tooLong(first + lines - 1, end - begin);
                return false;
            }
            if (!cr)
                break;
            begin = end + 1;
            if (begin < text.size() && text[begin] == '\n')
                ++begin;
        }
        return true;
    }

    QByteArrayView line()
    {
        if (m_failure)
            return {};
        if (m_lines.atEnd()) {
            const int present = m_lines.linesRead();
            LayoutError e;
            e.line = present + 1;
            e.field = LayoutLines::fieldName(e.line);
            e.expected = QStringLiteral("%1 lines up to the stop code").arg(LayoutLines::StopCode);
            e.message = present == 0
                ? QStringLiteral("The file is empty; a layout file has at least %1 lines, up to the stop code")
                      .arg(LayoutLines::StopCode)
                : QStringLiteral("The file ends at line %1, before the stop code on line %2")
                      .arg(present)
                      .arg(LayoutLines::StopCode);
            m_failure = e;
            return {};
        }
        const QByteArrayView raw = m_lines.next();
        if (raw.size() > LayoutReader::MaxLineLength) {
            tooLong(m_lines.linesRead(), raw.size());
            return {};
        }
        return raw;
    }

    void tooLong(int line, qsizetype length)
    {
        LayoutError e;
        e.line = line;
        e.field = LayoutLines::fieldName(line);
        e.expected = QStringLiteral("at most %1 characters").arg(LayoutReader::MaxLineLength);
        e.message = QStringLiteral("Line %1 has %2 characters; no device holds a line longer than %3 (%4)")
                        .arg(line)
                        .arg(length)
                        .arg(LayoutReader::MaxLineLength)
                        .arg(e.field);
        m_failure = e;
    }

    QString field() const { return LayoutLines::fieldName(m_lines.linesRead()); }

    // The common spelling of a whole number, read straight from the bytes: blanks,
    // an optional sign, at most nine digits, blanks. Nothing for anything else.
    static std::optional<int> plainInteger(QByteArrayView raw)
    {
        qsizetype i = 0;
        const qsizetype n = raw.size();
        while (i < n && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
        bool negative = false;
        if (i < n && (raw[i] == '-' || raw[i] == '+'))
            negative = raw[i++] == '-';
        const qsizetype first = i;
        int value = 0;
        while (i < n && i - first < 9 && raw[i] >= '0' && raw[i] <= '9')
            value = value * 10 + (raw[i++] - '0');
        if (i == first)
            return std::nullopt;
        while (i < n && (raw[i] == ' ' || raw[i] == '\t'))
            ++i;
        if (i != n)
            return std::nullopt;
        return negative ? -value : value;
    }

    static QString expectedRange(int min, int max)
    {
        return QStringLiteral("a number from %1 to %2").arg(min).arg(max);
    }

    // Records the first bad line; returns what a getter gives after it (0, false).
    int fail(const QString &found, const QString &expected, const QString &message)
    {
        LayoutError e;
        e.line = m_lines.linesRead();
        e.field = field();
        e.found = LayoutError::quote(found);
        e.expected = expected;
        e.message = message;
        m_failure = e;
        return 0;
    }

    LineCursor m_lines;
    std::optional<LayoutError> m_failure;
};

constexpr int Int16Min = -32768;
constexpr int Int16Max = 32767;

} // namespace

Result<LayoutData, LayoutError> LayoutReader::read(QByteArrayView bytes)
{
    Parser p(bytes);
    LayoutData d;
    const auto i16 = [&p] { return qint16(p.integer(Int16Min, Int16Max)); };
    const auto u8 = [&p] { return quint8(p.integer(0, 255)); };

    d.EditorWidth = i16();
    d.EditorHeight = i16();
    d.TicketLines = i16();
    for (int i = LayoutData::FirstSlot; i <= LayoutData::LastSlot; ++i)
        d.BoxLoaded[i] = i16();
    for (int i = LayoutData::FirstSlot; i <= LayoutData::LastSlot; ++i) {
        UpdateBox &b = d.UpdateBoxes[i];
        b.VarName = p.string();
        b.NodeAdr = u8();
        b.SWNo = i16();
        b.Offset = i16();
        b.Typ = i16();
        b.BitNo = u8();
        b.Code = u8();
        b.DevType = i16();
        b.Chars = i16();
        b.Digits = i16();
        b.DataIn = p.boolean();
        b.Linie = i16();
        b.Pos = i16();
    }
    d.StartCode = p.string();
    d.StopCode = p.string();
    if (p.failure()) {
        LayoutError error = *p.failure();
        error.lfLineEnds = bytes.contains('\n') && !bytes.contains('\r');
        return error;
    }
    d.text = p.text();
    if (p.failure())
        return *p.failure();
    return d;
}

Result<LayoutData, LayoutError> LayoutReader::read(QIODevice &device)
{
    if (!device.isSequential() && device.size() - device.pos() > MaxFileSize)
        return LayoutError::general(QStringLiteral("The file is too large for a layout (%1 bytes; at most %2, 1 MiB)")
                                        .arg(device.size() - device.pos())
                                        .arg(MaxFileSize));
    const QByteArray bytes = device.read(MaxFileSize + 1);
    if (bytes.size() > MaxFileSize)
        return LayoutError::general(
            QStringLiteral("The input is too large for a layout (at most %1 bytes, 1 MiB)").arg(MaxFileSize));
    return read(QByteArrayView(bytes));
}

} // namespace tkl
