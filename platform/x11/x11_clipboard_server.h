#pragma once

#include "x11/x11_connection.h"

#include <QString>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <list>
#include <memory>
#include <optional>

// Our own content on a selection, served to the programs that ask for it:
// TARGETS, TIMESTAMP and the text types, a large text in incremental chunks
// (a requestor that stops taking them is given up after a timeout).
class X11ClipboardServer : public QObject
{
    Q_OBJECT
public:
    X11ClipboardServer(std::shared_ptr<X11Connection> connection, unsigned long selection,
                       std::chrono::milliseconds serveTimeout, QObject *parent = nullptr);
    ~X11ClipboardServer() override;

    // The window that owns the selection for us.
    unsigned long window() const { return m_window.id(); }
    // Asks the X server for the selection as of time; whether it is ours now.
    bool claim(unsigned long time);
    // What we serve from now on (no text after a clear), as owner since time.
    void offer(std::optional<QString> text, unsigned long since);
    // Another program took the selection.
    void release();
    bool owns() const { return m_owning; }
    unsigned long ownedSince() const { return m_ownedSince; }
    // Takes the events meant for our content; false for any other.
    bool handleEvent(X11Connection::XEvent &event);

private:
    struct Transfer;

    void serveRequest(X11Connection::XEvent &event);
    bool answerRequest(unsigned long requestor, unsigned long target, unsigned long property);
    void continueTransfer(unsigned long window, unsigned long property);
    void stopWatchingRequestor(unsigned long window);

    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_selection = 0;
    std::chrono::milliseconds m_serveTimeout;
    X11Window m_window;
    qint64 m_chunkBytes = 0;
    bool m_owning = false;
    // Held once, shared with the snapshot (and the history item it came
    // from); encoded only when asked for.
    std::optional<QString> m_text;
    unsigned long m_ownedSince = 0;
    std::list<Transfer> m_transfers;
};
