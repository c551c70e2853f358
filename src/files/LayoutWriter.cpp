#include "LayoutWriter.h"

#include "CodePage1252.h"
#include "LayoutLines.h"
#include "LayoutReader.h"

#include <QIODevice>

namespace tkl {

namespace {

constexpr char LineEnd[] = "\r\n";

QString capitalized(QString s)
{
    if (!s.isEmpty())
        s[0] = s[0].toUpper();
    return s;
}

QString unstorable(QStringView text, qsizetype at)
{
    const qsizetype len = text[at].isHighSurrogate() && at + 1 < text.size() && text[at + 1].isLowSurrogate() ? 2 : 1;
    return QStringLiteral("\"%1\" (%2), which the Windows-1252 code page cannot store")
        .arg(text.mid(at, len).toString(), CodePage1252::codePointName(text, at));
}

class Serializer
{
public:
    explicit Serializer(QByteArray &out)
        : m_out(out)
    {
    }

    void number(int value)
    {
        m_out += QByteArray::number(value);
        m_out += LineEnd;
    }

    // One value on a fixed line: a line break in it would move every line after it.
    Result<void, LayoutError> fixedString(int line, const QString &value)
    {
        if (value.contains(u'\r') || value.contains(u'\n')) {
            LayoutError e;
            e.line = line;
            e.field = LayoutLines::fieldName(line);
            e.found = LayoutError::quote(value);
            e.expected = QStringLiteral("a single line");
            e.message = capitalized(QStringLiteral("%1 holds a line break and cannot be saved: it would shift every later line of the file")
                                        .arg(e.field));
            return e;
        }
        const qsizetype bad = CodePage1252::encode(value, m_out);
        if (bad >= 0) {
            LayoutError e;
            e.line = line;
            e.field = LayoutLines::fieldName(line);
            e.found = LayoutError::quote(value);
            e.expected = QStringLiteral("characters of the Windows-1252 code page");
            e.message = capitalized(QStringLiteral("%1 cannot be saved: it holds %2").arg(e.field, unstorable(value, bad)));
            return e;
        }
        m_out += LineEnd;
        return {};
    }

    Result<void, LayoutError> text(const QString &value)
    {
        const qsizetype bad = CodePage1252::encode(value, m_out);
        if (bad >= 0) {
            // The message says where a person sees it: line breaks of any kind count and
            // a surrogate pair is one column. The error's line is the file's, where only
            // CR LF and a lone CR end a line.
            int line = 1;
            int column = 1;
            int fileLine = LayoutLines::FirstText;
            for (qsizetype i = 0; i < bad; ++i) {
                const QChar c = value[i];
                const bool crlf = c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n';
                if (c == u'\r' && !crlf)
                    ++fileLine;
                if (c == u'\n' && i > 0 && value[i - 1] == u'\r')
                    ++fileLine;
                if (c == u'\n' || (c == u'\r' && !crlf)) {
                    ++line;
                    column = 1;
                } else if (c != u'\r' && !c.isLowSurrogate()) {
                    ++column;
                }
            }
            LayoutError e;
            e.line = fileLine;
            e.field = LayoutLines::fieldName(e.line);
            e.found = LayoutError::quote(QStringView(value).mid(bad));
            e.expected = QStringLiteral("characters of the Windows-1252 code page");
            e.message = QStringLiteral("The ticket text cannot be saved: line %1, column %2 holds %3")
                            .arg(line)
                            .arg(column)
                            .arg(unstorable(value, bad));
            return e;
        }
        m_out += LineEnd;
        return {};
    }

private:
    QByteArray &m_out;
};

} // namespace

Result<QByteArray, LayoutError> LayoutWriter::toBytes(const LayoutData &layout)
{
    QByteArray bytes;
    bytes.reserve(4096 + layout.text.size());
    Serializer s(bytes);

    s.number(layout.EditorWidth);
    s.number(layout.EditorHeight);
    s.number(layout.TicketLines);
    for (int i = LayoutData::FirstSlot; i <= LayoutData::LastSlot; ++i)
        s.number(layout.BoxLoaded[i]);
    for (int i = LayoutData::FirstSlot; i <= LayoutData::LastSlot; ++i) {
        const UpdateBox &b = layout.UpdateBoxes[i];
        if (auto done = s.fixedString(LayoutLines::memberLine(i, LayoutLines::VarName), b.VarName); !done.ok())
            return done.error();
        s.number(b.NodeAdr);
        s.number(b.SWNo);
        s.number(b.Offset);
        s.number(b.Typ);
        s.number(b.BitNo);
        s.number(b.Code);
        s.number(b.DevType);
        s.number(b.Chars);
        s.number(b.Digits);
        bytes += b.DataIn ? "True" : "False";
        bytes += LineEnd;
        s.number(b.Linie);
        s.number(b.Pos);
    }
    if (auto done = s.fixedString(LayoutLines::StartCode, layout.StartCode); !done.ok())
        return done.error();
    if (auto done = s.fixedString(LayoutLines::StopCode, layout.StopCode); !done.ok())
        return done.error();
    // The text's own CR LF separate its lines; the one added here ends the last of them.
    if (auto done = s.text(layout.text); !done.ok())
        return done.error();
    // A file that could not be opened again would lose the layout at the next start.
    if (bytes.size() > LayoutReader::MaxFileSize)
        return LayoutError::general(QStringLiteral("The layout takes %1 bytes; a layout file holds at most %2 (1 MiB), "
                                                   "far more than any device stores")
                                        .arg(bytes.size())
                                        .arg(LayoutReader::MaxFileSize));
    if (const auto back = LayoutReader::read(QByteArrayView(bytes)); !back.ok())
        return back.error();
    return bytes;
}

Result<void, LayoutError> LayoutWriter::write(QIODevice &device, const LayoutData &layout)
{
    const Result<QByteArray, LayoutError> stored = toBytes(layout);
    if (!stored.ok())
        return stored.error();
    const QByteArray &bytes = stored.value();
    qsizetype done = 0;
    while (done < bytes.size()) {
        const qint64 n = device.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            const QString why = device.errorString();
            return LayoutError::general(QStringLiteral("The layout could not be written: %1")
                                            .arg(why.isEmpty() ? QStringLiteral("the device took no more data") : why));
        }
        done += n;
    }
    return {};
}

} // namespace tkl
