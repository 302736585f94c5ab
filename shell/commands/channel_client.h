#pragma once

#include "commands/channel_protocol.h"
#include "commands/command_client.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The command line's side of the channel, in Qt's types: one request, its
// reply streamed to a sink. It blocks, as a command-line client may, but
// never longer than its budgets without progress.
namespace ChannelClient {

using Budgets = CommandClient::Budgets;

struct Result
{
    using Outcome = CommandClient::Outcome;
    Outcome outcome = Outcome::Unreachable;
    QByteArray status;
};

// The sink takes each piece of a data reply; false stops the transfer.
using Sink = std::function<bool(const QByteArray &piece)>;

Result request(const QString &socketPath, const ChannelProtocol::Request &request,
               const QByteArray &body, const Sink &sink, Budgets budgets = {});

} // namespace ChannelClient
