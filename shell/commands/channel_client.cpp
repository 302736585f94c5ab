#include "commands/channel_client.h"

#include <QFile>

namespace ChannelClient {

Result request(const QString &socketPath, const ChannelProtocol::Request &request,
               const QByteArray &body, const Sink &sink, Budgets budgets)
{
    ChannelProtocol::Request sent = request;
    sent.bodyLength = body.size();
    const QByteArray header = sent.encode();
    const auto result = CommandClient::request(
        QFile::encodeName(socketPath).toStdString(), std::string_view(header.constData(), size_t(header.size())),
        std::string_view(body.constData(), size_t(body.size())),
        [&sink](std::string_view piece) { return sink(QByteArray(piece.data(), qsizetype(piece.size()))); },
        budgets);
    return {result.outcome, QByteArray::fromStdString(result.status)};
}

} // namespace ChannelClient
