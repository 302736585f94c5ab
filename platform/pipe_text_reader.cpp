#include "pipe_text_reader.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <unistd.h>

PipeTextReader::PipeTextReader(UniqueFd readFd, const PasteboardLimits &limits, QObject *parent)
    : QObject(parent)
    , m_fd(std::move(readFd))
    , m_limits(limits)
    , m_notifier(new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this))
    , m_timer(new QTimer(this))
    , m_slice(limits.sliceBytes, Qt::Uninitialized)
{
    connect(m_notifier, &QSocketNotifier::activated, this, &PipeTextReader::readTurn);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, [this] { finish(Outcome::TimedOut); });
    m_timer->start(m_limits.dataTimeout);
}

PipeTextReader::~PipeTextReader()
{
    m_notifier->setEnabled(false);
}

void PipeTextReader::writerEnded(bool complete)
{
    if (m_done)
        return;
    if (!complete) {
        finish(Outcome::Incomplete);
        return;
    }
    // Everything was written before the writer said so, and what is still
    // in the pipe is at most its buffer: take it now.
    for (;;) {
        switch (readSlice()) {
        case Step::Data:
            continue;
        case Step::Failed:
            finish(m_failure);
            return;
        case Step::Wait:
        case Step::End:
            finish(Outcome::Complete);
            return;
        }
    }
}

void PipeTextReader::readTurn()
{
    // What has arrived is read in this turn, unless that would make the turn
    // long: then the notifier fires again for the rest.
    QElapsedTimer turn;
    turn.start();
    const qint64 budgetNs = std::chrono::nanoseconds(m_limits.readTurnBudget).count();
    for (;;) {
        switch (readSlice()) {
        case Step::Data:
            if (turn.nsecsElapsed() > budgetNs)
                return;
            continue;
        case Step::Wait:
            return;
        case Step::End:
            emit endReached();
            return;
        case Step::Failed:
            finish(m_failure);
            return;
        }
    }
}

PipeTextReader::Step PipeTextReader::readSlice()
{
    if (m_ended)
        return Step::End;
    ssize_t count;
    do
        count = ::read(m_fd.get(), m_slice.data(), size_t(m_slice.size()));
    while (count < 0 && errno == EINTR);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return Step::Wait;
        m_failure = Outcome::Broken;
        return Step::Failed;
    }
    if (count == 0) {
        m_ended = true;
        m_notifier->setEnabled(false);
        return Step::End;
    }
    m_bytes += count;
    if (m_bytes > m_limits.maxBytes) {
        m_failure = Outcome::TooLong;
        return Step::Failed;
    }
    const qsizetype size = m_text.size();
    m_text.resize(size + m_decoder.requiredSpace(count));
    const QChar *end = m_decoder.appendToBuffer(m_text.data() + size, QByteArrayView(m_slice.constData(), count));
    m_text.truncate(end - m_text.constData());
    m_timer->start(m_limits.dataTimeout);
    return Step::Data;
}

void PipeTextReader::finish(Outcome outcome)
{
    if (m_done)
        return;
    m_done = true;
    m_notifier->setEnabled(false);
    m_timer->stop();
    std::optional<QString> text;
    if (outcome == Outcome::Complete)
        text = std::move(m_text);
    m_text = QString();
    emit finished(text, outcome);
}
