#include "commands/channel_client.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>

namespace ChannelClient {

namespace {

using Outcome = Result::Outcome;

bool connectWithin(QLocalSocket &socket, const QString &path, std::chrono::milliseconds budget)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        socket.connectToServer(path);
        if (socket.waitForConnected(int(std::max<qint64>(budget.count() - clock.elapsed(), 0))))
            return true;
        socket.abort();
        if (clock.elapsed() + 50 >= budget.count())
            return false;
        QThread::msleep(50);
    }
}

// Reads what the socket receives, waiting at most the idle budget for
// each next piece.
class Reader
{
public:
    Reader(QLocalSocket &socket, std::chrono::milliseconds idle) : m_socket(socket), m_idle(idle) {}

    // A line without its newline; nothing when none came in time or it
    // grew past maxBytes.
    std::optional<QByteArray> line(qsizetype maxBytes)
    {
        for (;;) {
            if (const qsizetype end = m_buffer.indexOf('\n'); end >= 0) {
                QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return line;
            }
            if (m_buffer.size() > maxBytes || !fill())
                return std::nullopt;
        }
    }

    // Hands exactly count bytes to the sink, piece by piece.
    Outcome pass(qsizetype count, const Sink &sink)
    {
        while (count > 0) {
            if (m_buffer.isEmpty() && !fill())
                return Outcome::CutOff;
            const QByteArray piece = m_buffer.left(count);
            m_buffer.remove(0, piece.size());
            count -= piece.size();
            if (!sink(piece))
                return Outcome::SinkClosed;
        }
        return Outcome::Answered;
    }

private:
    bool fill()
    {
        if (m_socket.bytesAvailable() == 0 && !m_socket.waitForReadyRead(int(m_idle.count())))
            return false;
        m_buffer += m_socket.readAll();
        return true;
    }

    QLocalSocket &m_socket;
    std::chrono::milliseconds m_idle;
    QByteArray m_buffer;
};

std::optional<qsizetype> frameSize(const QByteArray &line)
{
    const bool hex = !line.isEmpty() && line.size() <= 8
                     && std::all_of(line.begin(), line.end(), [](char c) {
                            return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
                        });
    const qsizetype size = hex ? line.toLongLong(nullptr, 16) : -1;
    if (size < 0 || size > ChannelProtocol::maxFrameBytes)
        return std::nullopt;
    return size;
}

} // namespace

Result request(const QString &socketPath, const ChannelProtocol::Request &request,
               const QByteArray &body, const Sink &sink, Budgets budgets)
{
    QLocalSocket socket;
    if (!connectWithin(socket, socketPath, budgets.connect))
        return {Outcome::Unreachable, {}};

    ChannelProtocol::Request sent = request;
    sent.bodyLength = body.size();
    socket.write(sent.encode());
    socket.write(body);
    // A program that refuses the request answers before it read the body,
    // and closes: then the answer is what counts.
    while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(int(budgets.idle.count()))) {
    }

    Reader reader(socket, budgets.idle);
    const auto status = reader.line(ChannelProtocol::maxHeaderBytes);
    if (!status)
        return {Outcome::NoAnswer, {}};
    Result result{Outcome::Answered, *status};
    if (*status != "data")
        return result;
    for (;;) {
        const auto header = reader.line(16);
        const auto size = header ? frameSize(*header) : std::nullopt;
        if (!size)
            return {Outcome::CutOff, *status};
        if (*size == 0)
            return result;
        if (const Outcome outcome = reader.pass(*size, sink); outcome != Outcome::Answered)
            return {outcome, *status};
    }
}

} // namespace ChannelClient
