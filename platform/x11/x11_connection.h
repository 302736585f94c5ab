#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;
struct _XDisplay;
union _XEvent;

// Our own Xlib connection to the display, shared by the X11 backends and
// driven from the GUI thread without ever waiting on another client: a
// socket notifier reads its events and hands each one to every handler.
// Keeping it apart from Qt's connection means our grabs, selection traffic
// and protocol errors never mix with Qt's own.
class X11Connection
{
public:
    using XDisplay = _XDisplay;
    using XEvent = _XEvent;
    using EventHandler = std::function<void(XEvent &)>;
    using XID = unsigned long;

    // Opens a connection to the named display (the DISPLAY variable when
    // empty). Null when the display cannot be opened.
    static std::shared_ptr<X11Connection> open(const QByteArray &displayName = {});
    ~X11Connection();
    X11Connection(const X11Connection &) = delete;
    X11Connection &operator=(const X11Connection &) = delete;

    XDisplay *display() const { return m_display; }
    XID rootWindow() const { return m_root; }
    QByteArray displayName() const;

    XID atom(const char *name);
    // Many atoms in one round trip (those not known yet), in the given order.
    std::vector<XID> atoms(const std::vector<QByteArray> &names);
    QString atomName(XID atom);
    // The names of many atoms in one round trip; unknown atoms give "".
    QStringList atomNames(const std::vector<unsigned long> &atoms);

    // A real server timestamp (a zero-length property append on a window of
    // ours and the PropertyNotify it causes): a round trip to the server,
    // never to another client.
    unsigned long serverTime();

    // Returns an id for removeEventHandler().
    int addEventHandler(EventHandler handler);
    void removeEventHandler(int id);

    // Sends queued requests and hands out every event already read.
    void flush();
    void dispatchPending();
    // After a round trip made outside event dispatch: Xlib may have read
    // events into its queue that the socket no longer shows, so hand them
    // out from the event loop's next turn.
    void dispatchQueuedSoon();

private:
    explicit X11Connection(XDisplay *display);
    void dispatch(XEvent &event);

    XDisplay *m_display;
    XID m_root = 0;
    XID m_timeWindow = 0;
    XID m_timeAtom = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<int, EventHandler> m_handlers;
    int m_nextHandlerId = 1;
    bool m_dispatching = false;
    QHash<QByteArray, XID> m_atoms;
    QHash<XID, QString> m_atomNames;
};

// Whether server time a is before b. X server times are 32-bit
// milliseconds that wrap after about 49.7 days.
inline bool x11TimeBefore(unsigned long a, unsigned long b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)) < 0;
}

// While alive, protocol errors on the connection are recorded here instead
// of being reported (Xlib's default would end the process). ok() waits for
// the server to have processed every request made since construction.
class X11ErrorTrap
{
public:
    explicit X11ErrorTrap(X11Connection &connection);
    ~X11ErrorTrap();
    X11ErrorTrap(const X11ErrorTrap &) = delete;
    X11ErrorTrap &operator=(const X11ErrorTrap &) = delete;

    bool ok();
    int errorCode() const { return m_errorCode; }

private:
    friend int x11RecordError(X11Connection::XDisplay *, unsigned long serial, int code);
    X11Connection &m_connection;
    X11ErrorTrap *m_outer;
    unsigned long m_firstSerial;
    int m_errorCode = 0;
};

// A window of ours, destroyed with the object.
class X11Window
{
public:
    X11Window() = default;
    X11Window(std::shared_ptr<X11Connection> connection, long eventMask);
    ~X11Window();
    X11Window(X11Window &&other) noexcept;
    X11Window &operator=(X11Window &&other) noexcept;

    X11Connection::XID id() const { return m_id; }
    explicit operator bool() const { return m_id != 0; }

private:
    std::shared_ptr<X11Connection> m_connection;
    X11Connection::XID m_id = 0;
};
