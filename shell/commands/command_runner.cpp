#include "commands/command_runner.h"

#include "commands/command_client.h"
#include "commands/command_line.h"

#include <QFile>

#include <algorithm>
#include <cstdio>

namespace {

// Up to limit bytes of standard input; nothing when it holds more.
std::optional<QByteArray> readStandardInput(qint64 limit)
{
    QByteArray data;
    char buffer[65536];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, stdin)) {
        if (data.size() + qint64(n) > limit)
            return std::nullopt;
        data.append(buffer, qsizetype(n));
    }
    return data;
}

// Fills in what the command takes from standard input; an error message
// when that is not usable.
std::optional<QString> takeInput(const CommandLine &command, ChannelProtocol::Request &request,
                                 QByteArray &body)
{
    if (command.input == CommandLine::Input::Text) {
        const auto text = readStandardInput(ChannelProtocol::maxBodyBytes);
        if (!text)
            return QStringLiteral("standard input holds more than the limit of %1 MiB")
                .arg(ChannelProtocol::maxBodyBytes >> 20);
        body = *text;
    } else if (command.input == CommandLine::Input::Reference) {
        // A launcher hands back the chosen line, ended by a line feed, a NUL
        // or nothing at all.
        const auto line = readStandardInput(ChannelProtocol::maxHeaderBytes / 4);
        if (!line)
            return QStringLiteral("the item on standard input is too long");
        const auto end = std::find_if(line->cbegin(), line->cend(), [](char c) { return c == '\n' || c == '\0'; });
        QString item = QString::fromUtf8(line->constData(), end - line->cbegin());
        if (item.endsWith(u'\r'))
            item.chop(1);
        if (item.isEmpty())
            return QStringLiteral("no item chosen");
        request.arguments.insert("item", item);
    }
    return std::nullopt;
}

} // namespace

int failCommand(const QString &message)
{
    return CommandClient::fail(message.toLocal8Bit().toStdString());
}

std::optional<int> runCommand(const QString &socketPath, const CommandLine &command,
                              ChannelClient::Budgets budgets)
{
    ChannelProtocol::Request request = command.channelRequest;
    QByteArray body;
    if (const auto problem = takeInput(command, request, body))
        return failCommand(*problem);
    request.bodyLength = body.size();
    const QByteArray header = request.encode();
    return CommandClient::deliver(QFile::encodeName(socketPath).toStdString(),
                                  std::string_view(header.constData(), size_t(header.size())),
                                  std::string_view(body.constData(), size_t(body.size())), budgets);
}
