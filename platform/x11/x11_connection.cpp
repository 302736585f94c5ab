#include "x11/x11_connection.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDebug>
#include <QSocketNotifier>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace {

// Displays of our own connections, and the trap currently recording for
// each. Xlib's error handler is process-wide, so errors on displays that
// are not ours go on to whatever handler was installed before.
struct ErrorRouting
{
    std::vector<std::pair<Display *, X11ErrorTrap *>> displays;
    XErrorHandler previous = nullptr;
};

ErrorRouting &routing()
{
    static ErrorRouting r;
    return r;
}

int handleXError(Display *display, XErrorEvent *event);

} // namespace

int x11RecordError(Display *display, unsigned long serial, int code)
{
    for (auto &[d, trap] : routing().displays) {
        if (d != display)
            continue;
        for (X11ErrorTrap *t = trap; t; t = t->m_outer) {
            if (serial >= t->m_firstSerial) {
                if (t->m_errorCode == 0)
                    t->m_errorCode = code;
                return 1;
            }
        }
        return 0;
    }
    return -1;
}

namespace {

int handleXError(Display *display, XErrorEvent *event)
{
    const int recorded = x11RecordError(display, event->serial, event->error_code);
    if (recorded == -1)
        return routing().previous ? routing().previous(display, event) : 0;
    if (recorded == 0) {
        // Errors outside a trap come from requests about windows that went
        // away meanwhile (a requestor that quit); nothing to do about them.
        qDebug("X11: ignored protocol error %d (request %d)", int(event->error_code),
               int(event->request_code));
    }
    return 0;
}

Bool isTimeEvent(Display *, XEvent *event, XPointer arg)
{
    return event->type == PropertyNotify
           && event->xproperty.window == *reinterpret_cast<Window *>(arg);
}

} // namespace

std::shared_ptr<X11Connection> X11Connection::open(const QByteArray &displayName)
{
    Display *display = XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData());
    if (!display)
        return nullptr;
    return std::shared_ptr<X11Connection>(new X11Connection(display));
}

X11Connection::X11Connection(XDisplay *display)
    : m_display(display)
    , m_root(DefaultRootWindow(display))
{
    auto &r = routing();
    if (r.displays.empty()) {
        XErrorHandler previous = XSetErrorHandler(handleXError);
        if (previous != handleXError)
            r.previous = previous;
    }
    r.displays.emplace_back(display, nullptr);

    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    m_timeWindow = XCreateWindow(display, m_root, -10, -10, 1, 1, 0, CopyFromParent, InputOnly,
                                 CopyFromParent, CWEventMask, &attributes);
    m_timeAtom = atom("_TAVORINDLE_TIMESTAMP");

    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(display), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                     [this] { dispatchPending(); });
    // Round trips and flushes of ours may read events off the socket into
    // the library's buffers, where the socket notifier no longer sees them;
    // look once more (without blocking) before the loop sleeps.
    if (auto *dispatcher = QAbstractEventDispatcher::instance()) {
        QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, m_notifier.get(),
                         [this] {
                             if (XEventsQueued(m_display, QueuedAfterReading) > 0)
                                 dispatchPending();
                         });
    }
    XFlush(display);
}

X11Connection::~X11Connection()
{
    m_notifier.reset();
    XDestroyWindow(m_display, m_timeWindow);
    auto &r = routing();
    std::erase_if(r.displays, [this](const auto &entry) { return entry.first == m_display; });
    if (r.displays.empty()) {
        XSetErrorHandler(r.previous);
        r.previous = nullptr;
    }
    XCloseDisplay(m_display);
}

QByteArray X11Connection::displayName() const
{
    return QByteArray(DisplayString(m_display));
}

X11Connection::XID X11Connection::atom(const char *name)
{
    const QByteArray key(name);
    const auto it = m_atoms.constFind(key);
    if (it != m_atoms.constEnd())
        return *it;
    const Atom value = XInternAtom(m_display, name, False);
    m_atoms.insert(key, value);
    return value;
}

std::vector<X11Connection::XID> X11Connection::atoms(const std::vector<QByteArray> &names)
{
    std::vector<char *> unknown;
    for (const QByteArray &name : names) {
        if (!m_atoms.contains(name))
            unknown.push_back(const_cast<char *>(name.constData()));
    }
    if (!unknown.empty()) {
        std::vector<Atom> values(unknown.size(), None);
        XInternAtoms(m_display, unknown.data(), int(unknown.size()), False, values.data());
        for (size_t i = 0; i < unknown.size(); ++i)
            m_atoms.insert(QByteArray(unknown[i]), values[i]);
    }
    std::vector<XID> result;
    result.reserve(names.size());
    for (const QByteArray &name : names)
        result.push_back(m_atoms.value(name));
    return result;
}

QString X11Connection::atomName(XID atom)
{
    if (atom == None)
        return {};
    const auto it = m_atomNames.constFind(atom);
    if (it != m_atomNames.constEnd())
        return *it;
    X11ErrorTrap trap(*this);
    char *name = XGetAtomName(m_display, atom);
    QString value = name ? QString::fromUtf8(name) : QString();
    if (name)
        XFree(name);
    if (!value.isEmpty())
        m_atomNames.insert(atom, value);
    return value;
}

QStringList X11Connection::atomNames(const std::vector<unsigned long> &atoms)
{
    std::vector<Atom> unknown;
    for (unsigned long atom : atoms) {
        if (atom != None && !m_atomNames.contains(atom))
            unknown.push_back(atom);
    }
    if (!unknown.empty()) {
        std::vector<char *> names(unknown.size(), nullptr);
        X11ErrorTrap trap(*this);
        XGetAtomNames(m_display, unknown.data(), int(unknown.size()), names.data());
        for (size_t i = 0; i < unknown.size(); ++i) {
            if (!names[i])
                continue;
            const QString name = QString::fromUtf8(names[i]);
            XFree(names[i]);
            if (!name.isEmpty())
                m_atomNames.insert(unknown[i], name);
        }
    }
    QStringList result;
    result.reserve(qsizetype(atoms.size()));
    for (unsigned long atom : atoms)
        result.append(m_atomNames.value(atom));
    return result;
}

unsigned long X11Connection::serverTime()
{
    XChangeProperty(m_display, m_timeWindow, m_timeAtom, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    Window window = m_timeWindow;
    XIfEvent(m_display, &event, isTimeEvent, reinterpret_cast<XPointer>(&window));
    dispatchQueuedSoon();
    return event.xproperty.time;
}

int X11Connection::addEventHandler(EventHandler handler)
{
    const int id = m_nextHandlerId++;
    m_handlers.emplace(id, std::move(handler));
    return id;
}

void X11Connection::removeEventHandler(int id)
{
    m_handlers.erase(id);
}

void X11Connection::flush()
{
    XFlush(m_display);
    dispatchQueuedSoon();
}

void X11Connection::dispatchQueuedSoon()
{
    if (m_dispatching || XEventsQueued(m_display, QueuedAfterReading) == 0)
        return;
    QMetaObject::invokeMethod(m_notifier.get(), [this] { dispatchPending(); }, Qt::QueuedConnection);
}

void X11Connection::dispatchPending()
{
    if (m_dispatching)
        return;
    m_dispatching = true;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        dispatch(event);
    }
    m_dispatching = false;
}

void X11Connection::dispatch(XEvent &event)
{
    // A handler may remove handlers (its own included) while it runs.
    std::vector<int> ids;
    ids.reserve(m_handlers.size());
    for (const auto &entry : m_handlers)
        ids.push_back(entry.first);
    for (int id : ids) {
        const auto it = m_handlers.find(id);
        if (it != m_handlers.end()) {
            EventHandler handler = it->second;
            handler(event);
        }
    }
}

X11ErrorTrap::X11ErrorTrap(X11Connection &connection)
    : m_connection(connection)
    , m_outer(nullptr)
    , m_firstSerial(NextRequest(connection.display()))
{
    for (auto &entry : routing().displays) {
        if (entry.first == connection.display()) {
            m_outer = entry.second;
            entry.second = this;
        }
    }
}

X11ErrorTrap::~X11ErrorTrap()
{
    // Errors of our requests may still be on their way; take them in
    // while this trap is listening.
    XSync(m_connection.display(), False);
    for (auto &entry : routing().displays) {
        if (entry.first == m_connection.display())
            entry.second = m_outer;
    }
    m_connection.dispatchQueuedSoon();
}

bool X11ErrorTrap::ok()
{
    XSync(m_connection.display(), False);
    return m_errorCode == 0;
}

X11Window::X11Window(std::shared_ptr<X11Connection> connection, long eventMask)
    : m_connection(std::move(connection))
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = eventMask;
    m_id = XCreateWindow(m_connection->display(), m_connection->rootWindow(), -10, -10, 1, 1, 0,
                         CopyFromParent, InputOnly, CopyFromParent, CWEventMask, &attributes);
}

X11Window::~X11Window()
{
    if (m_id)
        XDestroyWindow(m_connection->display(), m_id);
}

X11Window::X11Window(X11Window &&other) noexcept
    : m_connection(std::move(other.m_connection))
    , m_id(std::exchange(other.m_id, 0))
{
}

X11Window &X11Window::operator=(X11Window &&other) noexcept
{
    if (this != &other) {
        if (m_id)
            XDestroyWindow(m_connection->display(), m_id);
        m_connection = std::move(other.m_connection);
        m_id = std::exchange(other.m_id, 0);
    }
    return *this;
}
