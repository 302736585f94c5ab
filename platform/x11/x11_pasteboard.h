#pragma once

#include "pasteboard.h"
#include "x11/x11_connection.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTimer>

#include <chrono>
#include <list>
#include <memory>
#include <vector>

// The CLIPBOARD selection read and written over our own X connection,
// without ever waiting for the owning program: XFixes reports each change
// of owner, and an asynchronous read (TARGETS, then the text) fills a
// snapshot that changeCount(), types() and string() return at no cost. The
// counter moves, and changed() fires, once the snapshot of a new owner is
// complete, or dropped because the owner did not answer in time or sent
// too much. A newer change of owner abandons an older read.
class X11Pasteboard final : public Pasteboard
{
    Q_OBJECT
public:
    struct Limits
    {
        std::chrono::milliseconds targetsTimeout{1000};
        // Restarted by every chunk of an incremental transfer.
        std::chrono::milliseconds dataTimeout{3000};
        qint64 maxBytes = qint64(64) << 20;
        // How long a program reading our content may take between chunks.
        std::chrono::milliseconds serveTimeout{5000};
    };

    explicit X11Pasteboard(std::shared_ptr<X11Connection> connection, QObject *parent = nullptr);
    X11Pasteboard(std::shared_ptr<X11Connection> connection, Limits limits,
                  QObject *parent = nullptr);
    ~X11Pasteboard() override;

    qint64 changeCount() const override { return m_changeCount; }
    std::optional<QStringList> types() const override { return m_snapshot.types; }
    std::optional<QString> string() const override { return m_snapshot.text; }
    void clearContents() override;
    void setString(const QString &text) override;
    bool setStringIfUnowned(const QString &text) override;

    // Whether a read of another program's content is under way.
    bool isReading() const { return m_read != nullptr; }
    // Whether XFixes is there; without it no change is ever seen.
    bool watchesOwnerChanges() const { return m_xfixesEventBase >= 0; }

private:
    struct Snapshot
    {
        std::optional<QStringList> types;
        std::optional<QString> text;
    };
    struct Read;
    struct Transfer;

    void handleEvent(X11Connection::XEvent &event);
    void onOwnerChanged(unsigned long owner, unsigned long time);
    void onOwnerGone(bool ownerQuit, unsigned long ownerSince);
    void stopWatchingRequestor(unsigned long window);
    void startRead(unsigned long time, bool initial);
    void requestConversion(unsigned long target, std::chrono::milliseconds timeout);
    void onConversionDone(unsigned long property);
    void onIncrementalChunk();
    void startSlices(bool lastChunk);
    void readSlice();
    void onTargets(const QByteArray &data, unsigned long type, int format);
    void requestNextTextTarget();
    void finishRead();
    void dropRead();
    void retireRead();
    void publish(Snapshot snapshot, bool initial);

    void takeOwnership(const std::optional<QString> &text);
    void offer(const std::optional<QString> &text, unsigned long since);
    void serveRequest(X11Connection::XEvent &event);
    bool answerRequest(unsigned long requestor, unsigned long target, unsigned long property);
    void continueTransfer(unsigned long window, unsigned long property);

    std::shared_ptr<X11Connection> m_connection;
    Limits m_limits;
    int m_handlerId = 0;
    int m_xfixesEventBase = -1;
    unsigned long m_clipboard = 0;
    X11Window m_ownerWindow;

    qint64 m_changeCount = 0;
    Snapshot m_snapshot;
    // Whether the snapshot holds the content of the current foreign owner,
    // so that its loss can be announced.
    bool m_snapshotIsForeign = false;
    // When the owner that quit had taken the clipboard, while nobody has
    // taken it since; CurrentTime otherwise.
    unsigned long m_lostOwnerSince = 0;

    std::unique_ptr<Read> m_read;
    QTimer m_readTimer;
    QTimer m_sliceTimer;
    // Windows of abandoned reads, kept until their answer comes.
    struct Retired
    {
        X11Window window;
        QDeadlineTimer since;
    };
    std::vector<Retired> m_retired;

    // What we offer while we own the clipboard; no value after clearContents().
    bool m_owning = false;
    std::optional<QByteArray> m_ownedUtf8;
    unsigned long m_ownedSince = 0;
    std::list<Transfer> m_transfers;
    qint64 m_chunkBytes = 0;
};
