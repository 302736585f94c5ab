#pragma once

#include "pasteboard_content.h"
#include "unique_fd.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringDecoder>

#include <optional>

class QSocketNotifier;
class QTimer;

// Reads the UTF-8 text another program writes into a pipe of ours without
// ever waiting for it: slices of the limits' size, as many per turn of the
// event loop as fit its budget, at most maxBytes, each within the data
// timeout. The end of the pipe alone proves nothing (the writer may have
// given up halfway, or been replaced): the text counts once the writer's
// side says it was complete. Each slice is decoded straight into the text,
// which grows by doubling: no decoded copy of a slice, and no raw bytes
// kept beside the text.
class PipeTextReader : public QObject
{
    Q_OBJECT
public:
    enum class Outcome { Complete, Incomplete, Broken, TooLong, TimedOut };

    // Takes the pipe's read end, which must be non-blocking.
    PipeTextReader(UniqueFd readFd, const PasteboardLimits &limits, QObject *parent = nullptr);
    ~PipeTextReader() override;

    // The writer's side on the transfer, whether or not the end of the pipe
    // was reached: when complete, what the pipe still holds is read now (its
    // write end may stay open a while in a copy held elsewhere).
    void writerEnded(bool complete);
    qint64 bytes() const { return m_bytes; }

signals:
    // The writer closed its end; the text waits for writerEnded(), and the
    // data timeout runs on until then.
    void endReached();
    // Once: the text when complete, otherwise nothing. Emitted last, so a
    // receiver may destroy the reader.
    void finished(const std::optional<QString> &text, PipeTextReader::Outcome outcome);

private:
    enum class Step { Data, Wait, End, Failed };
    Step readSlice();
    void readTurn();
    void finish(Outcome outcome);

    UniqueFd m_fd;
    PasteboardLimits m_limits;
    QSocketNotifier *m_notifier;
    QTimer *m_timer;
    QByteArray m_slice;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_text;
    qint64 m_bytes = 0;
    Outcome m_failure = Outcome::Broken;
    bool m_ended = false;
    bool m_done = false;
};
