#pragma once

#include "pasteboard.h"
#include "pasteboard_content.h"
#include "x11/x11_clipboard_reader.h"
#include "x11/x11_clipboard_server.h"
#include "x11/x11_connection.h"

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
    using Limits = PasteboardLimits;

    explicit X11Pasteboard(std::shared_ptr<X11Connection> connection, QObject *parent = nullptr);
    X11Pasteboard(std::shared_ptr<X11Connection> connection, Limits limits,
                  QObject *parent = nullptr);
    ~X11Pasteboard() override;

    qint64 changeCount() const override { return m_content.changeCount(); }
    std::optional<QStringList> types() const override { return m_content.types(); }
    std::optional<QString> string() const override { return m_content.text(); }
    void clearContents() override;
    void setString(const QString &text) override;
    bool setStringIfUnowned(const QString &text) override;

    // Whether a read of another program's content is under way.
    bool isReading() const { return m_reader.isReading(); }
    // Whether XFixes is there; without it no change is ever seen.
    bool watchesOwnerChanges() const { return m_xfixesEventBase >= 0; }

private:
    void handleEvent(X11Connection::XEvent &event);
    void onOwnerChanged(unsigned long owner, unsigned long time);
    void onOwnerGone(bool ownerQuit, unsigned long ownerSince);
    void onRead(X11ClipboardReader::Content content);
    void publish(PasteboardSnapshot snapshot, bool foreign, bool initial);
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

    // Whether a copy is concealed, markers lost on the way included.
    bool isConcealed(const QStringList &types) const;

    PasteboardContent m_content;
    // The owner of the content being read, and the owner of the last
    // content if that was concealed (None otherwise).
    unsigned long m_readOwner = 0;
    unsigned long m_concealedOwner = 0;
    // When the owner that quit had taken the clipboard, while nobody has
    // taken it since; CurrentTime otherwise.
    unsigned long m_lostOwnerSince = 0;
};
