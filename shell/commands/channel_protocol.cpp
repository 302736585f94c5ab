#include "commands/channel_protocol.h"

#include <QStringDecoder>

#include <algorithm>
#include <utility>

namespace ChannelProtocol {

namespace {

bool isWord(const QByteArray &word)
{
    if (word.isEmpty() || word.size() > 32)
        return false;
    for (const char c : word) {
        if (c < 'a' || c > 'z')
            return false;
    }
    return true;
}

std::optional<QString> strictUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

} // namespace

QByteArray Request::encode() const
{
    QByteArray line = command;
    for (auto it = arguments.cbegin(); it != arguments.cend(); ++it)
        line += ' ' + it.key() + '=' + it.value().toUtf8().toPercentEncoding();
    if (bodyLength > 0)
        line += " length=" + QByteArray::number(bodyLength);
    return line + '\n';
}

std::optional<Request> Request::parse(const QByteArray &line, QString *error)
{
    const auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    const QList<QByteArray> tokens = line.trimmed().split(' ');
    Request request;
    bool hasLength = false;
    request.command = tokens.first();
    if (!isWord(request.command))
        return fail(QStringLiteral("malformed request"));
    for (qsizetype i = 1; i < tokens.size(); ++i) {
        const QByteArray &token = tokens[i];
        const qsizetype equals = token.indexOf('=');
        const QByteArray key = token.left(equals);
        if (equals < 0 || !isWord(key) || request.arguments.contains(key))
            return fail(QStringLiteral("malformed request"));
        const QByteArray value = token.mid(equals + 1);
        if (key == "length") {
            if (std::exchange(hasLength, true))
                return fail(QStringLiteral("malformed request"));
            const bool digits = !value.isEmpty() && value.size() <= 18
                                && std::all_of(value.begin(), value.end(),
                                               [](char c) { return c >= '0' && c <= '9'; });
            if (!digits)
                return fail(QStringLiteral("malformed body length"));
            request.bodyLength = value.toLongLong();
            continue;
        }
        const auto text = strictUtf8(QByteArray::fromPercentEncoding(value));
        if (!text)
            return fail(QStringLiteral("an argument is not UTF-8"));
        request.arguments.insert(key, *text);
    }
    return request;
}

Reply Reply::error(const QString &reason)
{
    QByteArray line = reason.toUtf8();
    line.replace('\n', ' ').replace('\r', ' ');
    return {"error: " + line, {}};
}

Reply Reply::bytes(QByteArray all)
{
    return stream(once(std::move(all)));
}

DataSource once(QByteArray bytes)
{
    auto pending = std::make_shared<std::optional<QByteArray>>(std::move(bytes));
    return [pending]() -> std::optional<QByteArray> {
        std::optional<QByteArray> next;
        next.swap(*pending);
        return next;
    };
}

DataSource concatenated(std::vector<DataSource> sources)
{
    auto state = std::make_shared<std::pair<std::vector<DataSource>, size_t>>(std::move(sources), 0);
    return [state]() -> std::optional<QByteArray> {
        auto &[list, at] = *state;
        for (; at < list.size(); ++at) {
            if (auto piece = list[at]())
                return piece;
        }
        return std::nullopt;
    };
}

QByteArray frame(const QByteArray &chunk)
{
    return QByteArray::number(chunk.size(), 16) + '\n' + chunk;
}

DataSource textSlices(QString text, std::function<QByteArray(QStringView)> encode, qsizetype sliceUnits)
{
    auto offset = std::make_shared<qsizetype>(0);
    return [text = std::move(text), encode = std::move(encode), offset,
            sliceUnits]() -> std::optional<QByteArray> {
        if (*offset >= text.size())
            return std::nullopt;
        qsizetype length = std::min(sliceUnits, text.size() - *offset);
        if (length < text.size() - *offset && text.at(*offset + length - 1).isHighSurrogate())
            ++length;
        const QByteArray slice = encode(QStringView(text).mid(*offset, length));
        *offset += length;
        return slice;
    };
}

DataSource utf8Slices(QString text, qsizetype sliceUnits)
{
    return textSlices(std::move(text), [](QStringView slice) { return slice.toUtf8(); }, sliceUnits);
}

} // namespace ChannelProtocol
