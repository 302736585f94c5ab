#include "x11/x11_clipboard_reader.h"

#include "concealed_types.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QStringDecoder>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <deque>

Q_DECLARE_LOGGING_CATEGORY(lcClipboard)

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

// A property's type, format and size in bytes, without its data; nothing
// when the server refused the request.
std::optional<PropertyValue> peekProperty(Display *display, Window window, Atom property)
{
    PropertyValue value;
    unsigned long count = 0;
    unsigned char *data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType, &value.type,
                                          &value.format, &count, &value.totalBytes, &data);
    if (data)
        XFree(data);
    return status == Success ? std::optional(value) : std::nullopt;
}

// Reads a whole property of one of our windows: the server answers, never
// another client.
std::optional<PropertyValue> readProperty(Display *display, Window window, Atom property,
                                          bool deleteIt, qint64 maxBytes)
{
    auto value = peekProperty(display, window, property);
    if (!value || value->type == None)
        return value;
    if (qint64(value->totalBytes) > maxBytes) {
        if (deleteIt)
            XDeleteProperty(display, window, property);
        return value;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, long((value->totalBytes + 3) / 4), deleteIt ? True : False,
                           AnyPropertyType, &type, &format, &count, &after, &data)
        != Success)
        return std::nullopt;
    if (data) {
        if (format == 32) {
            const auto *longs = reinterpret_cast<const unsigned long *>(data);
            value->items.assign(longs, longs + count);
        } else {
            value->bytes = QByteArray(reinterpret_cast<const char *>(data),
                                     qsizetype(count) * (format / 8));
        }
        XFree(data);
    }
    return value;
}

} // namespace

struct X11ClipboardReader::Read
{
    enum class Stage { Targets, Text, Incremental };

    X11Window window;
    unsigned long time = CurrentTime;
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
    // Whether the owner answered the latest request; whether it was asked
    // a second time.
    bool answered = false;
    bool askedAgain = false;
};

X11ClipboardReader::X11ClipboardReader(std::shared_ptr<X11Connection> connection,
                                       unsigned long selection, Limits limits, Done done,
                                       QObject *parent)
    : QObject(parent)
    , m_connection(std::move(connection))
    , m_selection(selection)
    , m_limits(limits)
    , m_done(std::move(done))
{
    m_readTimer.setSingleShot(true);
    connect(&m_readTimer, &QTimer::timeout, this, &X11ClipboardReader::drop);
    m_sliceTimer.setSingleShot(true);
    m_sliceTimer.setInterval(0);
    connect(&m_sliceTimer, &QTimer::timeout, this, &X11ClipboardReader::readSlices);
}

X11ClipboardReader::~X11ClipboardReader() = default;

bool X11ClipboardReader::handleEvent(XEvent &event)
{
    switch (event.type) {
    case SelectionNotify: {
        const XSelectionEvent &reply = event.xselection;
        if (const auto retired = findRetired(reply.requestor); retired != m_retired.end()) {
            onRetiredReply(retired, reply.property);
            return true;
        }
        if (!m_read || reply.requestor != m_read->window.id())
            return false;
        // Only the first answer counts: a second one (asked again, or an
        // owner that answers twice) must not restart a read under way.
        if (reply.selection == m_selection && reply.target == m_read->target && !m_read->answered)
            onConversionDone(reply.property);
        return true;
    }
    case PropertyNotify: {
        const XPropertyEvent &change = event.xproperty;
        if (const auto retired = findRetired(change.window); retired != m_retired.end()) {
            if (change.state == PropertyNewValue)
                onRetiredChunk(retired, change.atom);
            return true;
        }
        if (!m_read || change.window != m_read->window.id())
            return false;
        if (change.state == PropertyNewValue && m_read->stage == Read::Stage::Incremental
            && change.atom == m_connection->atom(propertyName))
            onIncrementalChunk();
        return true;
    }
    default:
        return false;
    }
}

std::vector<X11ClipboardReader::Retired>::iterator X11ClipboardReader::findRetired(unsigned long window)
{
    return std::find_if(m_retired.begin(), m_retired.end(),
                        [&](const Retired &r) { return r.window.id() == window; });
}

// The answers to requests we no longer need, possibly from a newer owner
// that got them: an incremental transfer is taken to its end, chunk by
// chunk, without reading it, since an owner may serve nobody else (the
// newer copy's read included) until it is over.
void X11ClipboardReader::onRetiredReply(std::vector<Retired>::iterator retired, unsigned long property)
{
    const auto [type, size] = takeProperty(retired->window.id(), property);
    if (type == m_connection->atom("INCR"))
        retired->transferring = true;
    else
        m_retired.erase(retired);
}

void X11ClipboardReader::onRetiredChunk(std::vector<Retired>::iterator retired, unsigned long property)
{
    if (!retired->transferring)
        return; // a reply being written: its notice follows
    const auto [type, size] = takeProperty(retired->window.id(), property);
    if (type == None || size > 0)
        return;
    m_retired.erase(retired); // the empty chunk that ends it
    // Such an owner may also have dropped what the read under way asked
    // meanwhile: ask once more.
    if (m_read && !m_read->askedAgain && !m_read->answered && m_read->target != None) {
        m_read->askedAgain = true;
        requestConversion(m_read->target, m_read->stage == Read::Stage::Targets ? m_limits.targetsTimeout
                                                                                 : m_limits.dataTimeout);
    }
}

std::pair<unsigned long, unsigned long> X11ClipboardReader::takeProperty(unsigned long window,
                                                                          unsigned long property)
{
    if (property == None)
        return {None, 0};
    const auto value = peekProperty(m_connection->display(), window, property);
    if (!value)
        return {None, 0};
    if (value->type != None)
        XDeleteProperty(m_connection->display(), window, property);
    m_connection->flush();
    return {value->type, value->totalBytes};
}

void X11ClipboardReader::start(unsigned long time)
{
    abandon();
    m_read = std::make_unique<Read>();
    m_read->window = X11Window(m_connection, PropertyChangeMask);
    m_read->time = time;
    requestConversion(m_connection->atom("TARGETS"), m_limits.targetsTimeout);
}

void X11ClipboardReader::requestConversion(unsigned long target, std::chrono::milliseconds timeout)
{
    m_read->target = target;
    m_read->answered = false;
    XConvertSelection(m_connection->display(), m_selection, target, m_connection->atom(propertyName),
                      m_read->window.id(), m_read->time);
    m_connection->flush();
    m_readTimer.start(timeout);
}

void X11ClipboardReader::onConversionDone(unsigned long property)
{
    qCDebug(lcClipboard) << "converted" << m_connection->atomName(m_read->target) << "into" << property;
    m_read->answered = true;
    const bool targets = m_read->stage == Read::Stage::Targets;
    if (property == None) {
        // Refused. An owner that cannot list its targets may still give text.
        if (targets)
            m_read->candidates = {m_connection->atom("UTF8_STRING")};
        requestNextTextTarget();
        return;
    }
    if (targets) {
        onTargets(property);
        return;
    }
    // Only the type and size now; the text is taken in slices.
    Display *display = m_connection->display();
    const Window window = m_read->window.id();
    const auto value = peekProperty(display, window, property);
    m_connection->dispatchQueuedSoon();
    if (!value || value->type == None) {
        drop();
        return;
    }
    if (value->type == m_connection->atom("INCR")) {
        // Deleting the property asks the owner for the first chunk.
        XDeleteProperty(display, window, property);
        m_connection->flush();
        m_read->stage = Read::Stage::Incremental;
        m_readTimer.start(m_limits.dataTimeout);
        return;
    }
    if (!isTextReply(value->type, value->format)) {
        // Not the text asked for, whatever the bytes say: the next target.
        XDeleteProperty(display, window, property);
        requestNextTextTarget();
        return;
    }
    startSlices(true);
}

bool X11ClipboardReader::isTextReply(unsigned long type, int format) const
{
    return type == m_read->target && format == 8;
}

void X11ClipboardReader::onTargets(unsigned long property)
{
    // A huge list would cost a name lookup per atom, and might hide a
    // concealed marker past any cut: such a copy is not read at all.
    constexpr qint64 maxTargetsBytes = maxOfferedTypes * 4;
    const auto value = readProperty(m_connection->display(), m_read->window.id(), property, true,
                                    maxTargetsBytes);
    m_connection->dispatchQueuedSoon();
    if (value && (value->type == m_connection->atom("INCR") || qint64(value->totalBytes) > maxTargetsBytes)) {
        finish();
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
    if (m_concealed ? m_concealed(names) : hasConcealedType(names)) {
        finish(); // its text is never asked for
        return;
    }
    for (const char *name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING"}) {
        if (names.contains(QLatin1String(name)))
            m_read->candidates.push_back(m_connection->atom(name));
    }
    requestNextTextTarget();
}

void X11ClipboardReader::onIncrementalChunk()
{
    if (m_read->slicing)
        return; // the chunk being read changed under us: an owner out of step
    startSlices(false);
}

void X11ClipboardReader::startSlices(bool lastChunk)
{
    m_read->slicing = true;
    m_read->sliceOffset = 0;
    m_read->lastChunk = lastChunk;
    m_readTimer.start(m_limits.dataTimeout);
    readSlices();
}

void X11ClipboardReader::readSlices()
{
    // What has arrived is read in this turn of the event loop, unless that
    // would make the turn long: then the rest in the next. Each request is
    // kept small enough for the socket's buffer, so that the server writes
    // its answer at once instead of waiting, with us, for our reads.
    const long sliceLongs = long(m_limits.sliceBytes / 4);
    const qint64 budgetNs = std::chrono::nanoseconds(m_limits.readTurnBudget).count();
    QElapsedTimer turn;
    turn.start();
    while (readSlice(sliceLongs)) {
        if (turn.nsecsElapsed() > budgetNs) {
            m_sliceTimer.start();
            break;
        }
    }
    m_connection->dispatchQueuedSoon();
}

bool X11ClipboardReader::readSlice(long sliceLongs)
{
    if (!m_read || !m_read->slicing)
        return false;
    Display *display = m_connection->display();
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char *data = nullptr;
    // Deleted by the same request once this slice is its end, which asks
    // the owner of an incremental transfer for its next chunk at once, so
    // that it prepares that chunk while we decode this one.
    const int status = XGetWindowProperty(display, m_read->window.id(), m_connection->atom(propertyName),
                                          m_read->sliceOffset, sliceLongs, True, AnyPropertyType,
                                          &type, &format, &count, &after, &data);
    const std::unique_ptr<unsigned char, int (*)(void *)> owned(data, XFree);
    if (status != Success) {
        drop();
        return false;
    }
    if (type == None) {
        // Nothing there (yet): wait for the owner's next chunk.
        m_read->slicing = false;
        return false;
    }
    const qint64 bytes = qint64(count) * (format / 8);
    if (bytes > 0 && !isTextReply(type, format)) {
        drop();
        return false;
    }
    if (m_read->bytes + bytes + qint64(after) > m_limits.maxBytes) {
        qDebug("X11: clipboard content over %lld bytes dropped", m_limits.maxBytes);
        drop();
        return false;
    }
    if (bytes > 0) {
        // Straight into the text, without a decoded copy of the slice.
        QString &text = m_read->text;
        const qsizetype size = text.size();
        text.resize(size + m_read->decoder.requiredSpace(bytes));
        const QChar *end = m_read->decoder.appendToBuffer(text.data() + size, QByteArrayView(data, bytes));
        text.truncate(end - text.constData());
    }
    m_read->bytes += bytes;
    m_read->sliceOffset += long(bytes / 4);
    if (after > 0)
        return true;
    m_read->slicing = false;
    m_connection->flush();
    if (m_read->lastChunk || bytes == 0)
        finish();
    else
        m_readTimer.start(m_limits.dataTimeout);
    return false;
}

void X11ClipboardReader::requestNextTextTarget()
{
    if (m_read->candidates.empty()) {
        m_read->target = None;
        finish();
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

void X11ClipboardReader::finish()
{
    Content content{m_read->types, std::nullopt, true};
    if (m_read->stage != Read::Stage::Targets && m_read->target != None)
        content.text = std::move(m_read->text);
    m_read.reset();
    m_readTimer.stop();
    m_sliceTimer.stop();
    m_done(std::move(content));
}

void X11ClipboardReader::drop()
{
    if (!m_read)
        return;
    qCDebug(lcClipboard) << "read dropped at" << m_connection->atomName(m_read->target);
    Content content{m_read->types, std::nullopt, false};
    abandon();
    m_done(std::move(content));
}

void X11ClipboardReader::abandon()
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
    const bool transferring = m_read->stage == Read::Stage::Incremental;
    if (transferring) {
        // Whatever chunk is there is taken, so that the owner goes on.
        XDeleteProperty(m_connection->display(), m_read->window.id(), m_connection->atom(propertyName));
        m_connection->flush();
    }
    m_retired.push_back({std::move(m_read->window), now, transferring});
    m_read.reset();
}
