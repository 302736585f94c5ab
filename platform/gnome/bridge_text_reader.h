#pragma once

#include <QObject>
#include <QString>
#include <QStringDecoder>

#include <chrono>
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
    struct Limits
    {
        qint64 maxBytes = qint64(64) << 20;
        // Restarted by every slice.
        std::chrono::milliseconds idleTimeout{3000};
        qint64 sliceBytes = 64 * 1024;
    };

    // Takes the pipe's read end (non-blocking).
    BridgeTextReader(int readFd, Limits limits, QObject *parent = nullptr);
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

    int m_fd;
    Limits m_limits;
    QSocketNotifier *m_notifier;
    QTimer *m_timer;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_text;
    qint64 m_bytes = 0;
    bool m_eof = false;
    bool m_done = false;
};
