#pragma once

#include "commands/channel_protocol.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class QLocalSocket;

// Bytes of request bodies that the connections of one channel may hold at
// once, so that many large requests together stay bounded.
class BodyBudget
{
public:
    explicit BodyBudget(qint64 total) : m_total(total) {}
    // Bodies already held stay held when the total shrinks.
    void setTotal(qint64 total) { m_total = total; }
    bool take(qint64 bytes);
    void give(qint64 bytes) { m_held -= bytes; }

private:
    qint64 m_total;
    qint64 m_held = 0;
};

// One client of the command channel, served without ever waiting on it:
// reads one request (bounded in size and time), hands it over, and
// streams the reply as fast as the client drains it, giving up on a
// client that stops reading. Deletes itself when done.
class ChannelConnection : public QObject
{
    Q_OBJECT
public:
    using Respond = std::function<void(ChannelProtocol::Reply)>;
    // May answer at once or later; an answer after the client left is dropped.
    using Handler = std::function<void(const ChannelProtocol::Request &, QByteArray body, Respond)>;

    struct Limits
    {
        // For the header line, and then between two pieces of a body.
        std::chrono::milliseconds requestTimeout{5000};
        // Between two pieces of a reply the client drains.
        std::chrono::milliseconds drainTimeout{30000};
        qint64 maxBodyBytes = ChannelProtocol::maxBodyBytes;
    };

    // Takes the socket over.
    ChannelConnection(QLocalSocket *socket, Handler handler, BodyBudget &budget, Limits limits,
                      QObject *parent = nullptr);
    ~ChannelConnection() override;
    // Serves what the client sent so far; the rest as it comes.
    void start();

    // Refuses a client without reading from it.
    static void turnAway(QLocalSocket *socket, const QByteArray &reason);

    // Answers "error: <reason>" at once, without reading the request; the
    // client still gets to read the answer.
    void refuse(const QByteArray &reason);

    // Whether the client is still sending its request.
    bool isReadingRequest() const { return m_state == State::Header || m_state == State::Body; }
    // How long a client that has a reply to read has read none of it;
    // nothing for a client that is not reading one.
    std::optional<std::chrono::milliseconds> readerIdleFor() const;
    // Ends the connection at once.
    void drop();

signals:
    // Once, when the connection ends; it is deleted afterwards.
    void finished();

private:
    enum class State { Header, Body, Waiting, Writing, Closing, Lingering, Done };

    void onReadable();
    bool readHeader();
    void readBody();
    void dispatch();
    void reply(ChannelProtocol::Reply reply);
    void pump();
    void onBytesWritten();
    void finish();

    QLocalSocket *m_socket;
    Handler m_handler;
    BodyBudget &m_budget;
    Limits m_limits;
    State m_state = State::Header;
    ChannelProtocol::Request m_request;
    QByteArray m_body;
    qint64 m_reserved = 0;
    bool m_discardInput = false;
    ChannelProtocol::DataSource m_data;
    // The slice being sent, in frames.
    QByteArray m_pending;
    qsizetype m_pendingOffset = 0;
    QTimer m_timer;
    // Since the client last read part of its reply.
    QElapsedTimer m_sinceDrained;
};
