#include "commands/channel_connection.h"

#include <QLocalSocket>
#include <QPointer>

#include <sys/socket.h>

using namespace ChannelProtocol;

namespace {

// Read in pieces, so that a flood never piles up in the socket's buffer.
constexpr qint64 readBufferBytes = 256 * 1024;
// Reply bytes handed to the socket ahead of what the client has read.
constexpr qint64 writeAheadBytes = 1 << 20;
constexpr qsizetype frameBytes = 256 * 1024;

} // namespace

bool BodyBudget::take(qint64 bytes)
{
    if (bytes > m_total - m_held)
        return false;
    m_held += bytes;
    return true;
}

ChannelConnection::ChannelConnection(QLocalSocket *socket, Handler handler, BodyBudget &budget,
                                     Limits limits, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_handler(std::move(handler))
    , m_budget(budget)
    , m_limits(limits)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(readBufferBytes);
    m_timer.setSingleShot(true);
    // A client that stalls, whether sending or reading, is dropped.
    connect(&m_timer, &QTimer::timeout, this, &ChannelConnection::drop);
    connect(m_socket, &QLocalSocket::disconnected, this, &ChannelConnection::finish);
    connect(m_socket, &QLocalSocket::readyRead, this, &ChannelConnection::onReadable);
    connect(m_socket, &QLocalSocket::bytesWritten, this, &ChannelConnection::onBytesWritten);
}

void ChannelConnection::start()
{
    m_timer.start(m_limits.requestTimeout);
    if (m_socket->state() != QLocalSocket::ConnectedState)
        finish();
    else
        onReadable();
}

ChannelConnection::~ChannelConnection()
{
    m_budget.give(m_reserved);
}

void ChannelConnection::refuse(const QByteArray &reason)
{
    m_timer.start(m_limits.requestTimeout);
    reply(Reply::error(QString::fromUtf8(reason)));
}

std::optional<std::chrono::milliseconds> ChannelConnection::readerIdleFor() const
{
    if (m_state != State::Writing && m_state != State::Closing && m_state != State::Lingering)
        return std::nullopt;
    return std::chrono::milliseconds(m_sinceDrained.elapsed());
}

void ChannelConnection::turnAway(QLocalSocket *socket, const QByteArray &reason)
{
    socket->write(reason + '\n');
    socket->flush();
    socket->abort();
    socket->deleteLater();
}

void ChannelConnection::onReadable()
{
    if (m_discardInput) {
        m_socket->skip(m_socket->bytesAvailable());
        return;
    }
    if (m_state == State::Header && !readHeader())
        return;
    if (m_state == State::Body)
        readBody();
}

bool ChannelConnection::readHeader()
{
    const QByteArray head = m_socket->peek(maxHeaderBytes + 1);
    const qsizetype end = head.indexOf('\n');
    if (end < 0) {
        if (head.size() > maxHeaderBytes)
            reply(Reply::error(QStringLiteral("request too long")));
        return false;
    }
    m_socket->skip(end + 1);
    QString problem;
    const auto request = Request::parse(head.left(end), &problem);
    if (!request) {
        reply(Reply::error(problem));
        return false;
    }
    m_request = *request;
    if (m_request.bodyLength > m_limits.maxBodyBytes) {
        reply(Reply::error(QStringLiteral("the text is larger than the limit of %1 MiB")
                               .arg(m_limits.maxBodyBytes >> 20)));
        return false;
    }
    if (!m_budget.take(m_request.bodyLength)) {
        reply(Reply::error(QStringLiteral("busy with other large requests; try again")));
        return false;
    }
    m_reserved = m_request.bodyLength;
    m_body.reserve(m_request.bodyLength);
    if (m_request.bodyLength == 0) {
        dispatch();
        return false;
    }
    m_state = State::Body;
    m_timer.start(m_limits.requestTimeout);
    return true;
}

void ChannelConnection::readBody()
{
    const qint64 before = m_body.size();
    m_body += m_socket->read(m_request.bodyLength - m_body.size());
    if (m_body.size() > before)
        m_timer.start(m_limits.requestTimeout);
    if (m_body.size() == m_request.bodyLength)
        dispatch();
}

void ChannelConnection::dispatch()
{
    m_state = State::Waiting;
    m_timer.stop();
    QPointer<ChannelConnection> self(this);
    m_handler(m_request, std::move(m_body), [self](Reply answer) {
        if (self)
            self->reply(std::move(answer));
    });
}

void ChannelConnection::reply(Reply answer)
{
    if (m_state != State::Header && m_state != State::Body && m_state != State::Waiting)
        return;
    // A request refused before it was read whole: what the client still
    // sends is dropped unread, so that it gets to read the answer instead
    // of failing on a socket closed under its feet.
    m_discardInput = m_state != State::Waiting;
    if (!m_discardInput)
        disconnect(m_socket, &QLocalSocket::readyRead, this, &ChannelConnection::onReadable);
    m_socket->write(answer.status + '\n');
    m_data = std::move(answer.data);
    m_state = m_data ? State::Writing : State::Closing;
    onBytesWritten();
    // Out now: the answer to "quit" must not wait for a loop that ends.
    m_socket->flush();
}

void ChannelConnection::pump()
{
    while (m_state == State::Writing && m_socket->bytesToWrite() < writeAheadBytes) {
        if (m_pendingOffset < m_pending.size()) {
            const qsizetype size = std::min(frameBytes, m_pending.size() - m_pendingOffset);
            m_socket->write(frame(m_pending.mid(m_pendingOffset, size)));
            m_pendingOffset += size;
            continue;
        }
        std::optional<QByteArray> chunk = m_data();
        m_pendingOffset = 0;
        m_pending.clear();
        if (chunk) {
            m_pending = std::move(*chunk);
        } else {
            m_socket->write(endFrame);
            m_data = nullptr;
            m_state = State::Closing;
        }
    }
}

void ChannelConnection::onBytesWritten()
{
    if (m_state == State::Writing || m_state == State::Closing) {
        m_timer.start(m_limits.drainTimeout);
        m_sinceDrained.start();
    }
    if (m_state == State::Writing)
        pump();
    if (m_state != State::Closing || m_socket->bytesToWrite() > 0)
        return;
    if (!m_discardInput) {
        m_socket->disconnectFromServer();
        return;
    }
    // The end of the answer, while the client may still be sending.
    ::shutdown(int(m_socket->socketDescriptor()), SHUT_WR);
    m_state = State::Lingering;
    m_timer.start(m_limits.requestTimeout);
}

void ChannelConnection::drop()
{
    m_socket->abort();
    finish();
}

void ChannelConnection::finish()
{
    if (m_state == State::Done)
        return;
    m_timer.stop();
    m_state = State::Done;
    m_data = nullptr;
    m_pending.clear();
    emit finished();
    deleteLater();
}
