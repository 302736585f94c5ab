#pragma once

#include "commands/channel_protocol.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

// The command line's side of the channel: one request, its reply streamed
// to a sink. It blocks, as a command-line client may, but never longer
// than its budgets without progress.
namespace ChannelClient {

struct Budgets
{
    // The running program may hold the lock but not listen yet.
    std::chrono::milliseconds connect{2000};
    // The longest wait for the next bytes, in either direction.
    std::chrono::milliseconds idle{10000};
};

struct Result
{
    enum class Outcome {
        Unreachable, // no connection
        NoAnswer,    // connected, but no status line in time
        Answered,    // status holds the status line; a data reply arrived whole
        CutOff,      // a data reply ended before its end mark, or was malformed
        SinkClosed,  // the sink refused more data
    };
    Outcome outcome = Outcome::Unreachable;
    QByteArray status;
};

// The sink takes each piece of a data reply; false stops the transfer.
using Sink = std::function<bool(const QByteArray &piece)>;

Result request(const QString &socketPath, const ChannelProtocol::Request &request,
               const QByteArray &body, const Sink &sink, Budgets budgets = {});

} // namespace ChannelClient
