#include "x11/x11_pasteboard.h"

#include "concealed_types.h"

#include <QDebug>
#include <QStringDecoder>
#include <QDeadlineTimer>
#include <QLoggingCategory>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>
#include <utility>
#include <cstdint>
#include <deque>
#include <vector>

Q_LOGGING_CATEGORY(lcClipboard, "tavorindle.x11.clipboard", QtWarningMsg)

namespace {

constexpr char propertyName[] = "_TAVORINDLE_SELECTION";

struct PropertyValue
{
    Atom type = None;
    int format = 0;
    QByteArray bytes;            // format 8 and 16
    std::vector<unsigned long> items; // format 32, one per element
    unsigned long totalBytes = 0;
};

// Reads a whole property of one of our windows: the server answers, never
// another client.
std::optional<PropertyValue> readProperty(Display *display, Window window, Atom property,
                                          bool deleteIt, qint64 maxBytes)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType, &type,
                           &format, &count, &after, &data)
        != Success)
        return std::nullopt;
    if (data)
        XFree(data);
    PropertyValue value;
    value.type = type;
    value.format = format;
    value.totalBytes = after;
    if (type == None)
        return value;
    if (qint64(after) > maxBytes) {
        if (deleteIt)
            XDeleteProperty(display, window, property);
        return value;
    }
    data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, long((after + 3) / 4), deleteIt ? True : False,
                           AnyPropertyType, &type, &format, &count, &after, &data)
        != Success)
        return std::nullopt;
    if (data) {
        if (format == 32) {
            const auto *longs = reinterpret_cast<const unsigned long *>(data);
            value.items.assign(longs, longs + count);
        } else {
            value.bytes = QByteArray(reinterpret_cast<const char *>(data),
                                     qsizetype(count) * (format / 8));
        }
        XFree(data);
    }
    return value;
}

} // namespace

struct X11Pasteboard::Read
{
    enum class Stage { Targets, Text, Incremental };

    X11Window window;
    unsigned long time = CurrentTime;
    bool initial = false;
    Stage stage = Stage::Targets;
    unsigned long target = None;
    std::optional<QStringList> types;
    std::deque<unsigned long> candidates;
    // The text so far, decoded slice by slice so that no single turn of the
    // event loop has to convert the whole of a large copy.
    QStringDecoder decoder;
    QString text;
    qint64 bytes = 0;
    // The property being read in slices; the last one of a transfer, or a
    // chunk of an incremental one.
    bool slicing = false;
    long sliceOffset = 0; // in 32-bit units, as the protocol counts
    bool lastChunk = false;
};

struct X11Pasteboard::Transfer
{
    unsigned long window = None;
    unsigned long property = None;
    unsigned long type = None;
    QByteArray data;
    qsizetype offset = 0;
    std::unique_ptr<QTimer> timer;
};

X11Pasteboard::X11Pasteboard(std::shared_ptr<X11Connection> connection, QObject *parent)
    : X11Pasteboard(std::move(connection), Limits{}, parent)
{
}

X11Pasteboard::X11Pasteboard(std::shared_ptr<X11Connection> connection, Limits limits,
                             QObject *parent)
    : Pasteboard(parent)
    , m_connection(std::move(connection))
    , m_limits(limits)
{
    Display *display = m_connection->display();
    m_clipboard = m_connection->atom("CLIPBOARD");
    m_ownerWindow = X11Window(m_connection, PropertyChangeMask);
    m_chunkBytes = qMax<qint64>(4096, qint64(XMaxRequestSize(display)) * 4 - 1024);

    int eventBase = 0;
    int errorBase = 0;
    if (XFixesQueryExtension(display, &eventBase, &errorBase)) {
        int major = 5;
        int minor = 0;
        XFixesQueryVersion(display, &major, &minor);
        XFixesSelectSelectionInput(display, m_ownerWindow.id(), m_clipboard,
                                   XFixesSetSelectionOwnerNotifyMask
                                       | XFixesSelectionWindowDestroyNotifyMask
                                       | XFixesSelectionClientCloseNotifyMask);
        m_xfixesEventBase = eventBase;
    } else {
        qWarning("X11: the XFixes extension is missing; clipboard changes go unseen");
    }

    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, &X11Pasteboard::dropRead);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &X11Pasteboard::readSlice);
    m_handlerId = m_connection->addEventHandler([this](XEvent &event) { handleEvent(event); });

    // Learn what is there now, without counting it as a change: content
    // that predates us is never news.
    // The request carries a real time, so that an owner that takes the
    // clipboard meanwhile can tell that it is not meant (ICCCM).
    if (XGetSelectionOwner(display, m_clipboard) != None)
        startRead(m_connection->serverTime(), true);
    m_connection->flush();
}

// X server times are 32-bit milliseconds that wrap after about 49.7 days.
static bool serverTimeBefore(unsigned long a, unsigned long b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b)) < 0;
}

X11Pasteboard::~X11Pasteboard()
{
    m_connection->removeEventHandler(m_handlerId);
}

void X11Pasteboard::handleEvent(XEvent &event)
{
    if (m_xfixesEventBase >= 0 && event.type == m_xfixesEventBase + XFixesSelectionNotify) {
        const auto &notify = reinterpret_cast<const XFixesSelectionNotifyEvent &>(event);
        if (notify.selection != m_clipboard)
            return;
        if (notify.owner == None)
            // A running owner that clears the clipboard means it: only an
            // owner that quit or lost its window leaves content worth keeping.
            onOwnerGone(notify.subtype != XFixesSetSelectionOwnerNotify, notify.selection_timestamp);
        else
            onOwnerChanged(notify.owner, notify.selection_timestamp);
        return;
    }
    switch (event.type) {
    case SelectionNotify: {
        const XSelectionEvent &reply = event.xselection;
        std::erase_if(m_retired, [&](const Retired &r) { return r.window.id() == reply.requestor; });
        if (m_read && reply.requestor == m_read->window.id() && reply.selection == m_clipboard
            && reply.target == m_read->target && m_read->stage != Read::Stage::Incremental)
            onConversionDone(reply.property);
        break;
    }
    case PropertyNotify: {
        const XPropertyEvent &change = event.xproperty;
        if (m_read && change.window == m_read->window.id()) {
            if (change.state == PropertyNewValue && m_read->stage == Read::Stage::Incremental
                && change.atom == m_connection->atom(propertyName))
                onIncrementalChunk();
        } else if (change.state == PropertyDelete) {
            continueTransfer(change.window, change.atom);
        }
        break;
    }
    case SelectionRequest:
        if (event.xselectionrequest.owner == m_ownerWindow.id())
            serveRequest(event);
        break;
    case SelectionClear:
        if (event.xselectionclear.window == m_ownerWindow.id()
            && event.xselectionclear.selection == m_clipboard) {
            m_owning = false;
            m_ownedUtf8.reset();
        }
        break;
    default:
        break;
    }
}

void X11Pasteboard::onOwnerChanged(unsigned long owner, unsigned long time)
{
    qCDebug(lcClipboard) << "owner" << Qt::hex << owner << Qt::dec << "time" << time << "owning" << m_owning;
    if (owner == m_ownerWindow.id())
        return; // our own write, counted when it was made
    m_lostOwnerSince = CurrentTime;
    // A report older than our latest write describes an owner we replaced.
    if (m_owning && time != CurrentTime && serverTimeBefore(time, m_ownedSince))
        return;
    m_owning = false;
    m_ownedUtf8.reset();
    retireRead();
    startRead(time, false);
}

void X11Pasteboard::onOwnerGone(bool ownerQuit, unsigned long ownerSince)
{
    qCDebug(lcClipboard) << "owner gone; reading" << (m_read != nullptr) << "owning" << m_owning;
    if (m_owning)
        return; // a late report about an owner that our write replaced
    const bool wasReading = m_read != nullptr;
    retireRead();
    m_lostOwnerSince = CurrentTime;
    if (ownerQuit && !wasReading && m_snapshotIsForeign) {
        const qint64 before = m_changeCount;
        m_lostOwnerSince = ownerSince;
        emit ownerVanished();
        if (m_changeCount != before)
            return; // a receiver offered something in its place
    }
    m_snapshotIsForeign = false;
    publish({}, false);
}

void X11Pasteboard::startRead(unsigned long time, bool initial)
{
    m_read = std::make_unique<Read>();
    m_read->window = X11Window(m_connection, PropertyChangeMask);
    m_read->time = time;
    m_read->initial = initial;
    requestConversion(m_connection->atom("TARGETS"), m_limits.targetsTimeout);
}

void X11Pasteboard::requestConversion(unsigned long target, std::chrono::milliseconds timeout)
{
    m_read->target = target;
    XConvertSelection(m_connection->display(), m_clipboard, target, m_connection->atom(propertyName),
                      m_read->window.id(), m_read->time);
    m_connection->flush();
    m_readTimer.start(timeout);
}

void X11Pasteboard::onConversionDone(unsigned long property)
{
    qCDebug(lcClipboard) << "converted" << m_connection->atomName(m_read->target) << "into" << property;
    const bool targets = m_read->stage == Read::Stage::Targets;
    if (property == None) {
        // Refused. An owner that cannot list its targets may still give text.
        if (targets)
            m_read->candidates = {m_connection->atom("UTF8_STRING")};
        requestNextTextTarget();
        return;
    }
    Display *display = m_connection->display();
    const Window window = m_read->window.id();
    if (!targets) {
        // Only the type and size now; the text is taken in slices.
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char *data = nullptr;
        const int status = XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType,
                                              &type, &format, &count, &after, &data);
        if (data)
            XFree(data);
        m_connection->dispatchQueuedSoon();
        if (status != Success || type == None) {
            dropRead();
            return;
        }
        if (type == m_connection->atom("INCR")) {
            // Deleting the property asks the owner for the first chunk.
            XDeleteProperty(display, window, property);
            m_connection->flush();
            m_read->stage = Read::Stage::Incremental;
            m_readTimer.start(m_limits.dataTimeout);
            return;
        }
        startSlices(true);
        return;
    }

    // Real target lists hold a few dozen names. A huge one would cost a
    // name lookup per atom, and might hide a concealed marker past any cut:
    // such a copy is not read at all.
    constexpr qint64 maxTargets = 1024;
    constexpr qint64 maxTargetsBytes = maxTargets * 4;
    const auto value = readProperty(display, window, property, true, maxTargetsBytes);
    m_connection->dispatchQueuedSoon();
    if (value && (value->type == m_connection->atom("INCR") || qint64(value->totalBytes) > maxTargetsBytes)) {
        finishRead();
        return;
    }
    if (!value || value->format != 32) {
        // An owner that cannot list its targets may still have text.
        m_read->candidates = {m_connection->atom("UTF8_STRING")};
        requestNextTextTarget();
        return;
    }
    const QStringList names = m_connection->atomNames(value->items);
    m_read->types = names;
    if (hasConcealedType(names)) {
        finishRead(); // its text is never asked for
        return;
    }
    for (const char *name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING"}) {
        if (names.contains(QLatin1String(name)))
            m_read->candidates.push_back(m_connection->atom(name));
    }
    requestNextTextTarget();
}

void X11Pasteboard::onIncrementalChunk()
{
    if (m_read->slicing)
        return; // the chunk being read changed under us: an owner out of step
    startSlices(false);
}

void X11Pasteboard::startSlices(bool lastChunk)
{
    m_read->slicing = true;
    m_read->sliceOffset = 0;
    m_read->lastChunk = lastChunk;
    m_readTimer.start(m_limits.dataTimeout);
    readSlice();
}

void X11Pasteboard::readSlice()
{
    if (!m_read || !m_read->slicing)
        return;
    constexpr long sliceLongs = 16 * 1024; // 64 KiB
    Display *display = m_connection->display();
    const Window window = m_read->window.id();
    const Atom property = m_connection->atom(propertyName);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(display, window, property, m_read->sliceOffset, sliceLongs,
                                          False, AnyPropertyType, &type, &format, &count, &after,
                                          &data);
    if (status != Success) {
        dropRead();
        return;
    }
    if (type == None) {
        // Nothing there (yet): wait for the owner's next chunk.
        m_read->slicing = false;
        return;
    }
    const qint64 bytes = qint64(count) * (format / 8);
    if (m_read->bytes + bytes + qint64(after) > m_limits.maxBytes) {
        if (data)
            XFree(data);
        qDebug("X11: clipboard content over %lld bytes dropped", m_limits.maxBytes);
        dropRead();
        return;
    }
    if (data) {
        m_read->text.append(m_read->decoder.decode(QByteArrayView(data, bytes)));
        XFree(data);
    }
    m_read->bytes += bytes;
    m_read->sliceOffset += long(bytes / 4);
    m_connection->dispatchQueuedSoon();
    if (after > 0) {
        m_sliceTimer.start();
        return;
    }
    m_read->slicing = false;
    // For an incremental transfer this asks for the next chunk.
    XDeleteProperty(display, window, property);
    m_connection->flush();
    if (m_read->lastChunk || bytes == 0)
        finishRead();
    else
        m_readTimer.start(m_limits.dataTimeout);
}

void X11Pasteboard::requestNextTextTarget()
{
    if (m_read->candidates.empty()) {
        m_read->target = None;
        finishRead();
        return;
    }
    m_read->stage = Read::Stage::Text;
    const unsigned long target = m_read->candidates.front();
    m_read->candidates.pop_front();
    m_read->text.clear();
    m_read->bytes = 0;
    m_read->decoder = target == XA_STRING ? QStringDecoder(QStringDecoder::Latin1)
                                          : QStringDecoder(QStringDecoder::Utf8);
    requestConversion(target, m_limits.dataTimeout);
}

void X11Pasteboard::finishRead()
{
    std::optional<QString> text;
    if (m_read->stage != Read::Stage::Targets && m_read->target != None)
        text = std::move(m_read->text);
    Snapshot snapshot{m_read->types, std::move(text)};
    const bool initial = m_read->initial;
    m_read.reset();
    m_readTimer.stop();
    m_sliceTimer.stop();
    m_snapshotIsForeign = true;
    publish(std::move(snapshot), initial);
}

void X11Pasteboard::dropRead()
{
    if (!m_read)
        return;
    qCDebug(lcClipboard) << "read dropped at" << m_connection->atomName(m_read->target);
    // The owner did not answer in time or sent too much: the change counts
    // as dealt with, with no text.
    Snapshot snapshot{m_read->types, std::nullopt};
    const bool initial = m_read->initial;
    retireRead();
    m_snapshotIsForeign = false;
    publish(std::move(snapshot), initial);
}

void X11Pasteboard::retireRead()
{
    if (!m_read)
        return;
    m_readTimer.stop();
    m_sliceTimer.stop();
    // Destroying the window now would make a late answer fail with
    // BadWindow, which ends owners that keep Xlib's default error handler.
    // It goes when the answer comes, or after a grace period.
    const QDeadlineTimer now = QDeadlineTimer::current();
    std::erase_if(m_retired, [&](const Retired &r) { return r.since.deadline() + 60000 < now.deadline(); });
    if (m_retired.size() >= 64)
        m_retired.erase(m_retired.begin());
    m_retired.push_back({std::move(m_read->window), now});
    m_read.reset();
}

void X11Pasteboard::publish(Snapshot snapshot, bool initial)
{
    qCDebug(lcClipboard) << "publish" << (snapshot.text ? snapshot.text->size() : -1) << "initial" << initial;
    m_snapshot = std::move(snapshot);
    if (initial)
        return;
    ++m_changeCount;
    emit changed();
}

void X11Pasteboard::clearContents()
{
    takeOwnership(std::nullopt);
}

void X11Pasteboard::setString(const QString &text)
{
    takeOwnership(text);
}

bool X11Pasteboard::setStringIfUnowned(const QString &text)
{
    // The claim carries the time at which the lost owner took the
    // clipboard. The server ignores a claim older than the latest change of
    // owner, so it refuses this one once anybody has taken the clipboard
    // since, even a program whose report is still on its way to us.
    const unsigned long since = std::exchange(m_lostOwnerSince, CurrentTime);
    if (since == CurrentTime)
        return false;
    Display *display = m_connection->display();
    XSetSelectionOwner(display, m_clipboard, m_ownerWindow.id(), since);
    m_owning = XGetSelectionOwner(display, m_clipboard) == m_ownerWindow.id();
    if (!m_owning) {
        m_connection->dispatchQueuedSoon();
        return false;
    }
    offer(text, since);
    return true;
}

void X11Pasteboard::takeOwnership(const std::optional<QString> &text)
{
    Display *display = m_connection->display();
    const unsigned long time = m_connection->serverTime();
    XSetSelectionOwner(display, m_clipboard, m_ownerWindow.id(), time);
    m_owning = XGetSelectionOwner(display, m_clipboard) == m_ownerWindow.id();
    offer(text, time);
}

void X11Pasteboard::offer(const std::optional<QString> &text, unsigned long since)
{
    retireRead();
    m_lostOwnerSince = CurrentTime;
    m_ownedSince = since;
    Snapshot snapshot;
    if (text) {
        snapshot.types = QStringList{QStringLiteral("UTF8_STRING"),
                                     QStringLiteral("text/plain;charset=utf-8"),
                                     QStringLiteral("text/plain"), QStringLiteral("STRING"),
                                     QStringLiteral("TEXT")};
        snapshot.text = text;
        m_ownedUtf8 = text->toUtf8();
    } else {
        snapshot.types = QStringList{};
        m_ownedUtf8.reset();
    }
    m_snapshotIsForeign = false;
    m_snapshot = std::move(snapshot);
    ++m_changeCount;
    m_connection->flush();
}

void X11Pasteboard::serveRequest(XEvent &event)
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
    const bool current = request.time == CurrentTime || !serverTimeBefore(request.time, m_ownedSince);
    if (request.selection == m_clipboard && m_owning && current
        && answerRequest(request.requestor, request.target, property))
        reply.xselection.property = property;
    XSendEvent(m_connection->display(), request.requestor, False, NoEventMask, &reply);
    m_connection->flush();
}

bool X11Pasteboard::answerRequest(unsigned long requestor, unsigned long target,
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
        if (m_ownedUtf8)
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
    if (!m_ownedUtf8)
        return false;
    QByteArray data;
    Atom type = None;
    if (target == XA_STRING) {
        data = QString::fromUtf8(*m_ownedUtf8).toLatin1();
        type = XA_STRING;
    } else if (target == utf8String || target == text) {
        data = *m_ownedUtf8;
        type = utf8String;
    } else if (target == utf8Plain || target == plain) {
        data = *m_ownedUtf8;
        type = target;
    } else {
        return false;
    }

    if (data.size() <= m_chunkBytes) {
        XChangeProperty(display, requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char *>(data.constData()), int(data.size()));
        return true;
    }
    // Too large for one request: hand it over in chunks, one each time the
    // requestor deletes the property.
    XSelectInput(display, requestor, PropertyChangeMask);
    const unsigned long size = static_cast<unsigned long>(data.size());
    XChangeProperty(display, requestor, property, m_connection->atom("INCR"), 32, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(&size), 1);
    Transfer transfer;
    transfer.window = requestor;
    transfer.property = property;
    transfer.type = type;
    transfer.data = std::move(data);
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
    it->timer->start(m_limits.serveTimeout);
    return true;
}

void X11Pasteboard::stopWatchingRequestor(unsigned long window)
{
    // Another transfer to the same window still needs its property events.
    const bool stillUsed = std::any_of(m_transfers.begin(), m_transfers.end(),
                                       [&](const Transfer &t) { return t.window == window; });
    if (!stillUsed)
        XSelectInput(m_connection->display(), window, NoEventMask);
}

void X11Pasteboard::continueTransfer(unsigned long window, unsigned long property)
{
    const auto it = std::find_if(m_transfers.begin(), m_transfers.end(), [&](const Transfer &t) {
        return t.window == window && t.property == property;
    });
    if (it == m_transfers.end())
        return;
    const qsizetype length = qMin<qsizetype>(m_chunkBytes, it->data.size() - it->offset);
    XChangeProperty(m_connection->display(), window, property, it->type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(it->data.constData() + it->offset),
                    int(length));
    it->offset += length;
    if (length == 0) {
        // The empty chunk ends the transfer.
        m_transfers.erase(it);
        stopWatchingRequestor(window);
    } else {
        it->timer->start(m_limits.serveTimeout);
    }
    m_connection->flush();
}
