#include "gnome/bridge_text_reader.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

BridgeTextReader::BridgeTextReader(UniqueFd readFd, const PasteboardLimits &limits, qint64 sliceBytes,
                                   QObject *parent)
    : QObject(parent)
    , m_fd(std::move(readFd))
    , m_limits(limits)
    , m_sliceBytes(sliceBytes)
    , m_notifier(new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this))
    , m_timer(new QTimer(this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &BridgeTextReader::readSlice);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { finish(false); });
    m_timer->start(m_limits.dataTimeout);
}

BridgeTextReader::~BridgeTextReader()
{
    m_notifier->setEnabled(false);
}

void BridgeTextReader::transferEnded(bool complete)
{
    if (!complete) {
        finish(false);
        return;
    }
    // Everything was written before the shell said so, and what is still in
    // the pipe is at most its buffer: take it now. (The write end may stay
    // open a while in the bus library's copy of our call.)
    while (!m_done && !m_eof)
        if (!readSlice())
            break;
    finish(true);
}

bool BridgeTextReader::readSlice()
{
    QByteArray slice(m_sliceBytes, Qt::Uninitialized);
    const ssize_t n = ::read(m_fd.get(), slice.data(), size_t(slice.size()));
    if (n < 0) {
        if (errno != EAGAIN && errno != EINTR)
            finish(false);
        return false;
    }
    if (n == 0) {
        m_eof = true;
        m_notifier->setEnabled(false);
        return false;
    }
    m_bytes += n;
    if (m_bytes > m_limits.maxBytes) {
        finish(false, true);
        return false;
    }
    m_text += m_decoder.decode(QByteArrayView(slice.constData(), n));
    m_timer->start(m_limits.dataTimeout);
    return true;
}

void BridgeTextReader::finish(bool ok, bool tooLong)
{
    if (m_done)
        return;
    m_done = true;
    m_notifier->setEnabled(false);
    m_timer->stop();
    emit finished(ok ? std::optional(std::move(m_text)) : std::nullopt, tooLong);
}
