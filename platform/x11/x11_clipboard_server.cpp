#include "x11/x11_clipboard_server.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <utility>

namespace {

// The text from position on, encoded, at most maxBytes of it and ending on
// a character boundary; position moves past what was taken. Large texts
// are encoded piece by piece, so that none is held twice and no turn of the
// event loop encodes all of it.
QByteArray nextPiece(QStringView text, qsizetype &position, bool latin1, qsizetype maxBytes)
{
    const QStringView rest = text.sliced(position);
    qsizetype units = qMin(rest.size(), maxBytes);
    if (latin1) {
        position += units;
        return rest.first(units).toLatin1();
    }
    if (units < rest.size() && rest[units - 1].isHighSurrogate())
        --units;
    QByteArray bytes = rest.first(units).toUtf8();
    if (bytes.size() > maxBytes) {
        // Cut back to the last character that ends within the limit, and
        // count the UTF-16 units it took.
        qsizetype cut = maxBytes;
        while (cut > 0 && (uchar(bytes[cut]) & 0xC0) == 0x80)
            --cut;
        bytes.truncate(cut);
        units = 0;
        for (const char c : std::as_const(bytes)) {
            if ((uchar(c) & 0xC0) != 0x80)
                units += uchar(c) >= 0xF0 ? 2 : 1;
        }
    }
    position += units;
    return bytes;
}

} // namespace

struct X11ClipboardServer::Transfer
{
    unsigned long window = None;
    unsigned long property = None;
    unsigned long type = None;
    QString text;
    bool latin1 = false;
    qsizetype position = 0;
    std::unique_ptr<QTimer> timer;
};

X11ClipboardServer::X11ClipboardServer(std::shared_ptr<X11Connection> connection,
                                       unsigned long selection,
                                       std::chrono::milliseconds serveTimeout, QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_selection(selection)
    , m_serveTimeout(serveTimeout)
    , m_window(m_connection, PropertyChangeMask)
    , m_chunkBytes(qMax<qint64>(4096, qint64(XMaxRequestSize(m_connection->display())) * 4 - 1024))
{
}

X11ClipboardServer::~X11ClipboardServer() = default;

bool X11ClipboardServer::claim(unsigned long time)
{
    Display *display = m_connection->display();
    XSetSelectionOwner(display, m_selection, m_window.id(), time);
    m_owning = XGetSelectionOwner(display, m_selection) == m_window.id();
    m_connection->dispatchQueuedSoon();
    return m_owning;
}

void X11ClipboardServer::offer(std::optional<QString> text, unsigned long since)
{
    m_text = std::move(text);
    m_ownedSince = since;
}

void X11ClipboardServer::release()
{
    m_owning = false;
    m_text.reset();
}

bool X11ClipboardServer::handleEvent(XEvent &event)
{
    switch (event.type) {
    case SelectionRequest:
        if (event.xselectionrequest.owner != m_window.id())
            return false;
        serveRequest(event);
        return true;
    case SelectionClear:
        if (event.xselectionclear.window != m_window.id() || event.xselectionclear.selection != m_selection)
            return false;
        release();
        return true;
    case PropertyNotify:
        if (event.xproperty.state != PropertyDelete)
            return false;
        continueTransfer(event.xproperty.window, event.xproperty.atom);
        return true;
    default:
        return false;
    }
}

void X11ClipboardServer::serveRequest(XEvent &event)
{
    const XSelectionRequestEvent &request = event.xselectionrequest;
    XEvent reply{};
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = request.display;
    reply.xselection.requestor = request.requestor;
    reply.xselection.selection = request.selection;
    reply.xselection.target = request.target;
    reply.xselection.time = request.time;
    reply.xselection.property = None;
    // Obsolete requestors name no property: the target's name is used.
    const Atom property = request.property == None ? request.target : request.property;
    const bool current = request.time == CurrentTime || !x11TimeBefore(request.time, m_ownedSince);
    if (request.selection == m_selection && m_owning && current
        && answerRequest(request.requestor, request.target, property))
        reply.xselection.property = property;
    XSendEvent(m_connection->display(), request.requestor, False, NoEventMask, &reply);
    m_connection->flush();
}

bool X11ClipboardServer::answerRequest(unsigned long requestor, unsigned long target,
                                  unsigned long property)
{
    Display *display = m_connection->display();
    const Atom utf8String = m_connection->atom("UTF8_STRING");
    const Atom utf8Plain = m_connection->atom("text/plain;charset=utf-8");
    const Atom plain = m_connection->atom("text/plain");
    const Atom text = m_connection->atom("TEXT");

    if (target == m_connection->atom("TARGETS")) {
        std::vector<unsigned long> atoms{m_connection->atom("TARGETS"),
                                         m_connection->atom("TIMESTAMP")};
        if (m_text)
            atoms.insert(atoms.end(), {utf8String, utf8Plain, plain, XA_STRING, text});
        XChangeProperty(display, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(atoms.data()), int(atoms.size()));
        return true;
    }
    if (target == m_connection->atom("TIMESTAMP")) {
        const unsigned long time = m_ownedSince;
        XChangeProperty(display, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(&time), 1);
        return true;
    }
    if (!m_text)
        return false;
    Atom type = None;
    if (target == XA_STRING)
        type = XA_STRING;
    else if (target == utf8String || target == text)
        type = utf8String;
    else if (target == utf8Plain || target == plain)
        type = target;
    else
        return false;
    const bool latin1 = type == XA_STRING;

    if (m_text->size() <= m_chunkBytes) {
        qsizetype position = 0;
        const QByteArray data = nextPiece(*m_text, position, latin1, m_chunkBytes);
        if (position == m_text->size()) {
            XChangeProperty(display, requestor, property, type, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()));
            return true;
        }
    }
    // Too large for one request: hand it over in chunks, one each time the
    // requestor deletes the property. The size given is a lower bound, as
    // the protocol allows: every UTF-16 unit takes at least one byte.
    XSelectInput(display, requestor, PropertyChangeMask);
    const unsigned long size = static_cast<unsigned long>(m_text->size());
    XChangeProperty(display, requestor, property, m_connection->atom("INCR"), 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&size), 1);
    Transfer transfer;
    transfer.window = requestor;
    transfer.property = property;
    transfer.type = type;
    transfer.text = *m_text;
    transfer.latin1 = latin1;
    transfer.timer = std::make_unique<QTimer>();
    transfer.timer->setSingleShot(true);
    m_transfers.push_back(std::move(transfer));
    auto it = std::prev(m_transfers.end());
    // A requestor that stops reading is given up on.
    connect(it->timer.get(), &QTimer::timeout, this, [this, window = requestor, property] {
        const auto stale = std::find_if(m_transfers.begin(), m_transfers.end(), [&](const Transfer &t) {
            return t.window == window && t.property == property;
        });
        if (stale == m_transfers.end())
            return;
        stale->timer.release()->deleteLater();
        m_transfers.erase(stale);
        stopWatchingRequestor(window);
    });
    it->timer->start(m_serveTimeout);
    return true;
}

void X11ClipboardServer::stopWatchingRequestor(unsigned long window)
{
    // Another transfer to the same window still needs its property events.
    const bool stillUsed = std::any_of(m_transfers.begin(), m_transfers.end(),
                                       [&](const Transfer &t) { return t.window == window; });
    if (!stillUsed)
        XSelectInput(m_connection->display(), window, NoEventMask);
}

void X11ClipboardServer::continueTransfer(unsigned long window, unsigned long property)
{
    const auto it = std::find_if(m_transfers.begin(), m_transfers.end(), [&](const Transfer &t) {
        return t.window == window && t.property == property;
    });
    if (it == m_transfers.end())
        return;
    const QByteArray piece = nextPiece(it->text, it->position, it->latin1, m_chunkBytes);
    XChangeProperty(m_connection->display(), window, property, it->type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(piece.constData()), int(piece.size()));
    if (piece.isEmpty()) {
        // The empty chunk ends the transfer.
        m_transfers.erase(it);
        stopWatchingRequestor(window);
    } else {
        it->timer->start(m_serveTimeout);
    }
    m_connection->flush();
}
