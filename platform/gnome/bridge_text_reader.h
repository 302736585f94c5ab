#pragma once

#include "pasteboard_content.h"
#include "unique_fd.h"

#include <QObject>
#include <QString>
#include <QStringDecoder>

#include <optional>

class QSocketNotifier;
class QTimer;

// Reads the text GNOME Shell writes into a pipe of ours, one slice per turn
// of the event loop, so that a copy of any size never stalls the program.
// The text counts only once the shell says its transfer completed: the end
// of the pipe alone may be an owner that gave up halfway.
class BridgeTextReader : public QObject
{
    Q_OBJECT
public:
    // Reads the pipe's (non-blocking) read end, at most maxBytes, waiting at
    // most dataTimeout for each slice.
    BridgeTextReader(UniqueFd readFd, const PasteboardLimits &limits, qint64 sliceBytes = 64 * 1024,
                     QObject *parent = nullptr);
    ~BridgeTextReader() override;

    // The shell's word on its side of the transfer.
    void transferEnded(bool complete);

signals:
    // Once: the text, or nothing (incomplete, too long or too slow).
    void finished(const std::optional<QString> &text, bool tooLong);

private:
    // False when nothing more is to be had now.
    bool readSlice();
    void finish(bool ok, bool tooLong = false);

    UniqueFd m_fd;
    PasteboardLimits m_limits;
    qint64 m_sliceBytes;
    QSocketNotifier *m_notifier;
    QTimer *m_timer;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_text;
    qint64 m_bytes = 0;
    bool m_eof = false;
    bool m_done = false;
};
