#include "wayland/wayland_pasteboard.h"

#include "concealed_types.h"
#include "pipe_text_reader.h"
#include "unique_fd.h"
#include "wayland/wayland_connection.h"

#include <QLoggingCategory>

#include <wayland-client.h>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

Q_LOGGING_CATEGORY(lcWaylandClipboard, "tavorindle.wayland.clipboard", QtWarningMsg)

struct WaylandPasteboard::Read
{
    OfferHandle offer = nullptr;
    QByteArray mimeType;
    // Reads the served offer again (checkForeignContentServed()): the
    // offer stays, and only no data at all is news.
    bool check = false;
    QStringList types;
    bool initial = false;
    std::unique_ptr<PipeTextReader> reader;
    // Sent at the end of the data; see confirmEnd().
    wl_callback *endSync = nullptr;

    ~Read()
    {
        if (endSync)
            wl_callback_destroy(endSync);
    }
};

WaylandPasteboard::WaylandPasteboard(std::shared_ptr<WaylandConnection> connection, Protocol protocol,
                                     Limits limits, QObject *parent)
    : Pasteboard(parent)
    , m_connection(std::move(connection))
    , m_limits(limits)
    , m_writers(limits.serveTimeout)
{
    // A reader that stops reading closes its pipe: that must cost a failed
    // write, not the process.
    std::signal(SIGPIPE, SIG_IGN);

    connect(m_connection.get(), &WaylandConnection::lost, this, &WaylandPasteboard::onConnectionLost);

    m_control = DataControl::create(protocol, *m_connection, *this);
    if (!m_control) {
        qCWarning(lcWaylandClipboard, "Wayland: the compositor offers no clipboard-manager protocol");
        return;
    }
    // The device ends with its seat; a seat that comes back is watched again.
    m_seatWatcher = m_connection->watchGlobals("wl_seat", [this](uint32_t) {
        if (m_control && !m_control->hasDevice())
            m_control->startDevice();
    });
    if (!m_control->startDevice()) {
        qCWarning(lcWaylandClipboard, "Wayland: no seat: clipboard changes go unseen");
        return;
    }
    static const wl_callback_listener listener{&WaylandPasteboard::onInitialStateKnown};
    m_initialSync = wl_display_sync(m_connection->display());
    wl_callback_add_listener(m_initialSync, &listener, this);
    m_connection->flush();
}

void WaylandPasteboard::onInitialStateKnown(void *data, wl_callback *callback, uint32_t)
{
    auto *self = static_cast<WaylandPasteboard *>(data);
    if (callback == self->m_initialSync)
        self->endInitialState();
}

void WaylandPasteboard::endInitialState()
{
    if (m_initialSync)
        wl_callback_destroy(m_initialSync);
    m_initialSync = nullptr;
    m_expectInitial = false;
}

WaylandPasteboard::~WaylandPasteboard()
{
    if (m_seatWatcher)
        m_connection->removeGlobalWatcher(m_seatWatcher);
    retireRead();
    dropServedOffer();
    dropHeld();
    endInitialState();
    if (m_writeSync)
        wl_callback_destroy(m_writeSync);
    dropClaim();
    for (auto it = m_offers.constBegin(); it != m_offers.constEnd(); ++it)
        m_control->destroyOffer(it.key());
    if (m_control) {
        m_control->destroySource(m_source);
        m_control.reset();
    }
}

const QByteArray &WaylandPasteboard::ownWriteMarker()
{
    static const QByteArray marker("application/x-tavorindle-own-write");
    return marker;
}

bool WaylandPasteboard::watchesChanges() const
{
    return m_control && m_control->hasDevice() && !m_connection->isLost();
}

void WaylandPasteboard::offerAnnounced(OfferHandle offer)
{
    m_offers.insert(offer, {});
}

void WaylandPasteboard::offerType(OfferHandle offer, const QByteArray &mimeType)
{
    const auto it = m_offers.find(offer);
    // One past the limit is kept: enough to refuse the copy as a whole.
    if (it != m_offers.end() && it->size() <= maxOfferedTypes)
        it->append(QString::fromUtf8(mimeType));
}

void WaylandPasteboard::primarySelection(OfferHandle offer)
{
    if (!offer)
        return;
    m_offers.remove(offer);
    m_control->destroyOffer(offer);
}

void WaylandPasteboard::selection(OfferHandle offer)
{
    // An emptying while our claim of lost content waits is what the claim
    // answers (the compositor may report the quit owner's loss after we
    // learnt of it from X).
    if (!offer && m_claimSync)
        return;
    // Another program copied before our claim went out: its copy stands.
    dropClaim();
    if (m_writeSync) {
        holdSelection(offer);
        return;
    }
    if (offer && m_offers.value(offer).contains(QString::fromLatin1(ownWriteMarker()))) {
        // A late echo of a write of ours: counted when it was made.
        m_offers.remove(offer);
        m_control->destroyOffer(offer);
        return;
    }
    takeSelection(offer);
}

void WaylandPasteboard::takeSelection(OfferHandle offer)
{
    const bool initial = m_expectInitial;
    retireRead();
    dropServedOffer();
    if (!offer) {
        qCDebug(lcWaylandClipboard) << "selection cleared; foreign" << m_content.isForeign();
        // Cleared or its owner quit: the same thing here.
        if (initial)
            publish({}, false, initial);
        else
            announceLoss();
        return;
    }
    QStringList types = m_offers.take(offer);
    qCDebug(lcWaylandClipboard) << "selection" << types;
    if (hasConcealedType(types)) {
        // Its text is never asked for.
        m_control->destroyOffer(offer);
        publish({std::move(types), std::nullopt}, true, initial);
        return;
    }
    for (const char *type : textMimeTypes) {
        if (types.contains(QLatin1String(type))) {
            startRead(offer, std::move(types), QByteArray(type), initial);
            return;
        }
    }
    m_control->destroyOffer(offer);
    publish({std::move(types), std::nullopt}, true, initial);
}

void WaylandPasteboard::startRead(OfferHandle offer, QStringList types, const QByteArray &mimeType, bool initial)
{
    m_read = receive(offer, mimeType);
    if (!m_read) {
        m_control->destroyOffer(offer);
        publish({std::move(types), std::nullopt}, false, initial);
        return;
    }
    m_read->types = std::move(types);
    m_read->initial = initial;
}

std::unique_ptr<WaylandPasteboard::Read> WaylandPasteboard::receive(OfferHandle offer, const QByteArray &mimeType)
{
    // Only our end is non-blocking: the flag belongs to the pipe's open
    // file, and owners write to theirs as to any file.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return nullptr;
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    m_control->receive(offer, mimeType, fds[1]);
    ::close(fds[1]); // the library sent its own copy
    auto read = std::make_unique<Read>();
    read->offer = offer;
    read->mimeType = mimeType;
    read->reader = std::make_unique<PipeTextReader>(UniqueFd(fds[0]), m_limits);
    connect(read->reader.get(), &PipeTextReader::endReached, this, &WaylandPasteboard::confirmEnd);
    connect(read->reader.get(), &PipeTextReader::finished, this,
            [this](const std::optional<QString> &text, PipeTextReader::Outcome outcome) {
                if (outcome == PipeTextReader::Outcome::Complete) {
                    finishRead(*text);
                    return;
                }
                if (outcome == PipeTextReader::Outcome::TooLong)
                    qCDebug(lcWaylandClipboard, "clipboard content over %lld bytes dropped", m_limits.maxBytes);
                dropRead();
            });
    return read;
}

void WaylandPasteboard::confirmEnd()
{
    // An owner that another copy replaced quits and closes its pipe, maybe
    // before the news of the newer copy is read from the compositor: the
    // text is taken only once a sync sent now comes back without a newer
    // selection before it. Otherwise a cut-off text would be recorded.
    static const wl_callback_listener listener{&WaylandPasteboard::onReadEndConfirmed};
    m_read->endSync = wl_display_sync(m_connection->display());
    wl_callback_add_listener(m_read->endSync, &listener, this);
    m_connection->flush();
}

void WaylandPasteboard::onReadEndConfirmed(void *data, wl_callback *callback, uint32_t)
{
    auto *self = static_cast<WaylandPasteboard *>(data);
    if (self->m_read && self->m_read->endSync == callback)
        self->m_read->reader->writerEnded(true);
}

void WaylandPasteboard::finishRead(QString text)
{
    auto read = std::move(m_read);
    if (read->check) {
        qCDebug(lcWaylandClipboard) << "checked:" << read->reader->bytes() << "bytes";
        if (read->reader->bytes() == 0)
            announceLoss();
        return;
    }
    // Kept, to be read again should its program be seen to quit.
    m_servedOffer = read->offer;
    m_servedType = read->mimeType;
    publish({std::move(read->types), std::move(text)}, true, read->initial);
}

void WaylandPasteboard::announceLoss()
{
    dropServedOffer();
    // Announced while types() and string() still describe what was lost.
    if (m_content.isForeign()) {
        const qint64 before = m_content.changeCount();
        m_announcingLoss = true;
        emit ownerVanished();
        m_announcingLoss = false;
        if (m_content.changeCount() != before)
            return; // a receiver offered something in its place
    }
    publish({}, false, false);
}

void WaylandPasteboard::checkForeignContentServed()
{
    const std::optional<QString> &text = m_content.text();
    if (!m_servedOffer || m_read || m_writeSync || !m_content.isForeign() || !text || text->isEmpty())
        return;
    m_read = receive(m_servedOffer, m_servedType);
    if (m_read)
        m_read->check = true;
}

void WaylandPasteboard::dropServedOffer()
{
    if (m_servedOffer)
        m_control->destroyOffer(m_servedOffer);
    m_servedOffer = nullptr;
    m_servedType.clear();
}

void WaylandPasteboard::dropRead()
{
    if (!m_read)
        return;
    // The owner did not answer in time or sent too much: the change counts
    // as dealt with, with no text.
    auto read = std::move(m_read);
    if (read->check) {
        // Its program is known to be gone: no answer at all (KWin leaves
        // such reads open) is an empty one.
        if (read->reader->bytes() == 0)
            announceLoss();
        return;
    }
    m_control->destroyOffer(read->offer);
    publish({std::move(read->types), std::nullopt}, false, read->initial);
}

void WaylandPasteboard::retireRead()
{
    if (!m_read)
        return;
    if (!m_read->check)
        m_control->destroyOffer(m_read->offer);
    m_read.reset();
}

void WaylandPasteboard::publish(PasteboardSnapshot snapshot, bool foreign, bool initial)
{
    if (m_content.publish(std::move(snapshot), foreign, initial))
        emit changed();
}

void WaylandPasteboard::finished()
{
    qCWarning(lcWaylandClipboard, "Wayland: the clipboard device ended; watching again once a seat comes");
    retireRead();
    dropServedOffer();
    dropHeld();
}

void WaylandPasteboard::onConnectionLost()
{
    endInitialState();
    dropClaim();
    retireRead();
    dropServedOffer();
    dropHeld();
    m_writers.clear();
}
