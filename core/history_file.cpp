#include "history_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace HistoryFile {

void appendEscaped(QByteArray &out, QStringView value)
{
    static constexpr char hex[] = "0123456789abcdef";
    const QByteArray utf8 = value.toUtf8();
    qsizetype runStart = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(utf8.constData() + runStart, i - runStart);
        runStart = i + 1;
        switch (c) {
        case '"': out.append("\\\""); break;
        case '\\': out.append("\\\\"); break;
        case '\n': out.append("\\n"); break;
        case '\r': out.append("\\r"); break;
        case '\t': out.append("\\t"); break;
        case '\b': out.append("\\b"); break;
        case '\f': out.append("\\f"); break;
        default:
            out.append("\\u00");
            out.append(hex[c >> 4]);
            out.append(hex[c & 0xF]);
        }
    }
    out.append(utf8.constData() + runStart, utf8.size() - runStart);
}

namespace {

// Collects the file's bytes and hands them on in pieces of about a
// megabyte, so that a long history is never held twice as text and bytes.
class Encoder
{
public:
    explicit Encoder(const std::function<bool(const QByteArray &)> &sink) : m_sink(sink) { }

    void raw(const char *ascii) { m_out.append(ascii); }
    void raw(char c) { m_out.append(c); }

    void string(QStringView value)
    {
        m_out.append('"');
        while (!value.isEmpty()) {
            qsizetype n = std::min(value.size(), sliceLength);
            if (n < value.size() && value[n - 1].isHighSurrogate() && value[n].isLowSurrogate())
                --n; // a pair is never cut
            appendEscaped(m_out, value.first(n));
            value = value.sliced(n);
            if (m_out.size() >= pieceSize)
                flush();
        }
        m_out.append('"');
    }

    // The shortest form that reads back to the same double.
    void number(double value)
    {
        if (!std::isfinite(value))
            value = 0;
        char buffer[32];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
        m_out.append(buffer, result.ptr - buffer);
    }

    void integer(qint64 value) { m_out.append(QByteArray::number(value)); }

    bool flush()
    {
        if (m_ok && !m_out.isEmpty())
            m_ok = m_sink(m_out);
        m_out.clear();
        return m_ok;
    }

private:
    static constexpr qsizetype sliceLength = 64 * 1024;
    static constexpr qsizetype pieceSize = 1024 * 1024;
    const std::function<bool(const QByteArray &)> &m_sink;
    QByteArray m_out;
    bool m_ok = true;
};

void encodeItem(Encoder &out, const ClipItem::Stored &item)
{
    out.raw("{\"id\":");
    out.string(item.id.toString(QUuid::WithoutBraces).toUpper());
    out.raw(",\"rawContent\":");
    out.string(item.rawContent);
    out.raw(",\"contentTypeRaw\":");
    out.string(item.contentTypeRaw);
    if (item.detectedLanguage) {
        out.raw(",\"detectedLanguage\":");
        out.string(*item.detectedLanguage);
    }
    out.raw(",\"title\":");
    out.string(item.title);
    out.raw(",\"timestamp\":");
    out.number(item.timestamp);
    out.raw(",\"isPinned\":");
    out.raw(item.isPinned ? "true" : "false");
    out.raw(",\"wordCount\":");
    out.integer(item.wordCount);
    out.raw(",\"charCount\":");
    out.integer(item.charCount);
    out.raw('}');
}

void encodeArray(Encoder &out, const Snapshot &items)
{
    out.raw('[');
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i)
            out.raw(',');
        encodeItem(out, items[i]);
    }
    out.raw(']');
}

QByteArray inMemory(const std::function<void(Encoder &)> &write)
{
    QByteArray bytes;
    const std::function<bool(const QByteArray &)> sink = [&](const QByteArray &piece) {
        bytes += piece;
        return true;
    };
    Encoder encoder(sink);
    write(encoder);
    encoder.flush();
    return bytes;
}

// 8-4-4-4-12 hexadecimal digits in either case, nothing else.
std::optional<QUuid> parseUuid(const QString &text)
{
    if (text.size() != 36)
        return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (dash ? c != u'-' : !hex)
            return std::nullopt;
    }
    return QUuid::fromString(text);
}

std::optional<qint64> integerValue(const QJsonValue &value)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (d != std::trunc(d) || std::abs(d) > 9.2e18)
        return std::nullopt;
    return value.toInteger(static_cast<qint64>(d));
}

QString decodeItem(const QJsonValue &element, ClipItem::Stored &s)
{
    if (!element.isObject())
        return QStringLiteral("not an object");
    const QJsonObject object = element.toObject();
    auto need = [&](const char *key, bool (QJsonValue::*isType)() const, QJsonValue &out) -> QString {
        const auto it = object.constFind(QLatin1String(key));
        if (it == object.constEnd())
            return QStringLiteral("missing key \"%1\"").arg(QLatin1String(key));
        const QJsonValue value = *it;
        if (!(value.*isType)())
            return QStringLiteral("key \"%1\" has the wrong type").arg(QLatin1String(key));
        out = value;
        return {};
    };
    QJsonValue v;
    QString error;
    if (!(error = need("id", &QJsonValue::isString, v)).isEmpty())
        return error;
    const auto id = parseUuid(v.toString());
    if (!id)
        return QStringLiteral("\"id\" is not a UUID");
    s.id = *id;
    if (!(error = need("rawContent", &QJsonValue::isString, v)).isEmpty())
        return error;
    s.rawContent = v.toString();
    if (!(error = need("contentTypeRaw", &QJsonValue::isString, v)).isEmpty())
        return error;
    s.contentTypeRaw = v.toString();
    const QJsonValue language = object.value(QLatin1String("detectedLanguage"));
    if (language.isString())
        s.detectedLanguage = language.toString();
    else if (!language.isUndefined() && !language.isNull())
        return QStringLiteral("key \"detectedLanguage\" has the wrong type");
    if (!(error = need("title", &QJsonValue::isString, v)).isEmpty())
        return error;
    s.title = v.toString();
    if (!(error = need("timestamp", &QJsonValue::isDouble, v)).isEmpty())
        return error;
    s.timestamp = v.toDouble();
    if (!(error = need("isPinned", &QJsonValue::isBool, v)).isEmpty())
        return error;
    s.isPinned = v.toBool();
    for (const auto &[key, field] : {std::pair{"wordCount", &s.wordCount}, std::pair{"charCount", &s.charCount}}) {
        if (!(error = need(key, &QJsonValue::isDouble, v)).isEmpty())
            return error;
        const auto n = integerValue(v);
        if (!n)
            return QStringLiteral("key \"%1\" is not an integer").arg(QLatin1String(key));
        *field = *n;
    }
    return {};
}

} // namespace

Snapshot snapshot(const QList<ClipItemPtr> &items)
{
    Snapshot list;
    list.reserve(items.size());
    for (const ClipItemPtr &item : items)
        list.append(item->stored());
    return list;
}

bool encode(const Snapshot &items, const std::function<bool(const QByteArray &)> &sink)
{
    Encoder encoder(sink);
    encodeArray(encoder, items);
    return encoder.flush();
}

QByteArray encode(const QList<ClipItemPtr> &items)
{
    return inMemory([&](Encoder &encoder) { encodeArray(encoder, snapshot(items)); });
}

QByteArray encodeItem(const ClipItem &item)
{
    return inMemory([&](Encoder &encoder) { encodeItem(encoder, item.stored()); });
}

DecodeResult decode(const QByteArray &json)
{
    DecodeResult result;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error = QStringLiteral("not valid JSON at byte %1: %2")
                           .arg(parseError.offset)
                           .arg(parseError.errorString());
        return result;
    }
    if (!document.isArray()) {
        result.error = QStringLiteral("the top level is not an array");
        return result;
    }
    const QJsonArray array = document.array();
    result.items.reserve(array.size());
    for (qsizetype i = 0; i < array.size(); ++i) {
        ClipItem::Stored stored;
        const QString error = decodeItem(array.at(i), stored);
        if (!error.isEmpty()) {
            result.items.clear();
            result.error = QStringLiteral("item %1: %2").arg(i).arg(error);
            return result;
        }
        result.items.append(std::make_shared<ClipItem>(std::move(stored)));
    }
    return result;
}

} // namespace HistoryFile
