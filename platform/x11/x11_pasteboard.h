#pragma once

#include "pasteboard.h"
#include "x11/x11_clipboard_reader.h"
#include "x11/x11_clipboard_server.h"
#include "x11/x11_connection.h"

#include <chrono>
#include <memory>

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
    bool isReading() const { return m_reader.isReading(); }
    // Whether XFixes is there; without it no change is ever seen.
    bool watchesOwnerChanges() const { return m_xfixesEventBase >= 0; }

private:
    struct Snapshot
    {
        std::optional<QStringList> types;
        std::optional<QString> text;
    };

    void handleEvent(X11Connection::XEvent &event);
    void onOwnerChanged(unsigned long owner, unsigned long time);
    void onOwnerGone(bool ownerQuit, unsigned long ownerSince);
    void onRead(X11ClipboardReader::Content content);
    void publish(Snapshot snapshot, bool initial);
    void takeOwnership(const std::optional<QString> &text);
    void offer(const std::optional<QString> &text, unsigned long since);

    std::shared_ptr<X11Connection> m_connection;
    int m_handlerId = 0;
    int m_xfixesEventBase = -1;
    unsigned long m_clipboard = 0;
    X11ClipboardReader m_reader;
    X11ClipboardServer m_server;
    // Whether the read under way is of what was there before we started.
    bool m_readIsInitial = false;

    qint64 m_changeCount = 0;
    Snapshot m_snapshot;
    // Whether the snapshot holds the content of the current foreign owner,
    // so that its loss can be announced.
    bool m_snapshotIsForeign = false;
    // When the owner that quit had taken the clipboard, while nobody has
    // taken it since; CurrentTime otherwise.
    unsigned long m_lostOwnerSince = 0;
};
