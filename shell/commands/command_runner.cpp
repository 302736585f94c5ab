#include "commands/command_runner.h"

#include "commands/channel_client.h"
#include "commands/command_line.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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
    std::fputs(QStringLiteral("tavorindle: %1\n").arg(message).toLocal8Bit().constData(), stderr);
    return 1;
}

std::optional<int> runCommand(const QString &socketPath, const CommandLine &command,
                              ChannelClient::Budgets budgets)
{
    ChannelProtocol::Request request = command.channelRequest;
    QByteArray body;
    if (const auto problem = takeInput(command, request, body))
        return failCommand(*problem);
    int writeError = 0;
    const auto toStdout = [&writeError](const QByteArray &piece) {
        if (std::fwrite(piece.constData(), 1, size_t(piece.size()), stdout) == size_t(piece.size()))
            return true;
        writeError = errno;
        return false;
    };
    using Outcome = ChannelClient::Result::Outcome;
    const ChannelClient::Result result =
        ChannelClient::request(socketPath, request, body, toStdout, budgets);
    if (std::fflush(stdout) != 0 && !writeError)
        writeError = errno;
    switch (result.outcome) {
    case Outcome::Unreachable:
        return std::nullopt;
    case Outcome::NoAnswer:
        return failCommand(QStringLiteral("the running copy does not answer"));
    case Outcome::CutOff:
        return failCommand(QStringLiteral("the reply was cut off"));
    case Outcome::SinkClosed:
    case Outcome::Answered:
        break;
    }
    if (result.status.startsWith("error: "))
        return failCommand(QString::fromUtf8(result.status.mid(7)));
    if (writeError) {
        // A reader that stopped early (head, a closed pager) is no error worth a word.
        if (writeError == EPIPE)
            return 1;
        return failCommand(QStringLiteral("cannot write to standard output: %1")
                        .arg(QString::fromLocal8Bit(std::strerror(writeError))));
    }
    return 0;
}
