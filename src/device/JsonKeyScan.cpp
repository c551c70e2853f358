#include "JsonKeyScan.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <vector>

namespace tkl {

namespace {

struct Level
{
    bool object = false;
    bool expectKey = false;
    QSet<QString> keys;
};

// The end of the string whose opening quote is at `open`: the offset of its closing quote.
qsizetype stringEnd(const QByteArray &json, qsizetype open)
{
    qsizetype i = open + 1;
    while (i < json.size() && json.at(i) != '"')
        i += json.at(i) == '\\' ? 2 : 1;
    return i;
}

QString decodedKey(const QByteArray &json, qsizetype open, qsizetype close)
{
    const QByteArrayView raw(json.constData() + open + 1, close - open - 1);
    if (!raw.contains('\\'))
        return QString::fromUtf8(raw);
    // Escapes (\u006e and the like) are rare in keys: let the parser decode them, so that
    // "n\u0061me" and "name" are the same key as it sees them.
    const QByteArray wrapped = '[' + QByteArray(json.constData() + open, close - open + 1) + ']';
    return QJsonDocument::fromJson(wrapped).array().at(0).toString();
}

} // namespace

std::optional<JsonKeyScan::Duplicate> JsonKeyScan::firstDuplicate(const QByteArray &json)
{
    std::vector<Level> levels;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json.at(i);
        switch (c) {
        case '{':
            levels.push_back({true, true, {}});
            break;
        case '[':
            levels.push_back({false, false, {}});
            break;
        case '}':
        case ']':
            if (!levels.empty())
                levels.pop_back();
            break;
        case ',':
            if (!levels.empty() && levels.back().object)
                levels.back().expectKey = true;
            break;
        case '"': {
            const qsizetype close = stringEnd(json, i);
            if (!levels.empty() && levels.back().expectKey) {
                Level &level = levels.back();
                level.expectKey = false;
                const QString key = decodedKey(json, i, close);
                if (level.keys.contains(key))
                    return Duplicate{key, i};
                level.keys.insert(key);
            }
            i = close;
            break;
        }
        default:
            break;
        }
    }
    return std::nullopt;
}

} // namespace tkl
