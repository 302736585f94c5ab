// The writing half of WaylandPasteboard: our own content offered to the
// compositor, the claim of lost content, and the selections that cross a
// write of ours on the wire.
#include "wayland/wayland_pasteboard.h"

#include "unique_fd.h"
#include "wayland/wayland_connection.h"

#include <wayland-client.h>

namespace {

const QStringList &offeredTypes()
{
    static const QStringList types{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain"),
                                   QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"),
                                   QStringLiteral("TEXT")};
    return types;
}

} // namespace

void WaylandPasteboard::clearContents()
{
    write(std::nullopt);
}

void WaylandPasteboard::setString(const QString &text)
{
    write(text.toUtf8());
}

void WaylandPasteboard::write(std::optional<QByteArray> utf8)
{
    dropClaim();
    retireRead();
    dropServedOffer();
    submit(utf8);
    m_content.recordOwnWrite(utf8 ? std::optional(QString::fromUtf8(*utf8)) : std::nullopt, offeredTypes());
}

bool WaylandPasteboard::setStringIfUnowned(const QString &text)
{
    // Only while a loss is being announced, and only if nothing newer has
    // come meanwhile. The protocol has no conditional claim: the claim goes
    // out once a sync sent now comes back with no newer selection before
    // it, so a copy the compositor took before our check is never replaced.
    if (!m_announcingLoss || !m_control)
        return false;
    m_announcingLoss = false;
    dropClaim();
    const QByteArray utf8 = text.toUtf8();
    static const wl_callback_listener listener{&WaylandPasteboard::onClaimChecked};
    m_claimSync = wl_display_sync(m_connection->display());
    wl_callback_add_listener(m_claimSync, &listener, this);
    m_claimedUtf8 = utf8;
    m_connection->flush();
    // Ours from now on, as for setString(); a newer copy that turns up
    // first is counted as a change of its own.
    m_content.recordOwnWrite(text, offeredTypes());
    return true;
}

void WaylandPasteboard::onClaimChecked(void *data, wl_callback *callback, uint32_t)
{
    auto *self = static_cast<WaylandPasteboard *>(data);
    if (callback != self->m_claimSync)
        return;
    wl_callback_destroy(self->m_claimSync);
    self->m_claimSync = nullptr;
    self->submit(std::exchange(self->m_claimedUtf8, {}));
}

void WaylandPasteboard::dropClaim()
{
    if (m_claimSync)
        wl_callback_destroy(m_claimSync);
    m_claimSync = nullptr;
    m_claimedUtf8.clear();
}

void WaylandPasteboard::submit(const std::optional<QByteArray> &utf8)
{
    if (m_control) {
        SourceHandle old = m_source;
        m_source = nullptr;
        if (utf8) {
            QList<QByteArray> types;
            for (const QString &type : offeredTypes())
                types << type.toLatin1();
            types << ownWriteMarker();
            m_source = m_control->createSource(types);
        }
        m_control->setSelection(m_source);
        // Its readers keep their own copy of the data.
        m_control->destroySource(old);

        // Selections that cross this write on the wire are held until the
        // compositor has answered a sync sent after it.
        if (m_writeSync)
            wl_callback_destroy(m_writeSync);
        static const wl_callback_listener listener{&WaylandPasteboard::onWriteSettled};
        m_writeSync = wl_display_sync(m_connection->display());
        wl_callback_add_listener(m_writeSync, &listener, this);
        m_lastWriteClears = !utf8;
        m_connection->flush();
    }
    m_ownedUtf8 = utf8.value_or(QByteArray());
}

void WaylandPasteboard::holdSelection(OfferHandle offer)
{
    const bool echo = offer && m_offers.value(offer).contains(QString::fromLatin1(ownWriteMarker()));
    dropHeld();
    // Whatever comes after a write of ours is news.
    endInitialState();
    m_holding = true;
    m_heldIsEcho = echo;
    if (echo) {
        m_offers.remove(offer);
        m_control->destroyOffer(offer);
    } else {
        m_heldOffer = offer;
    }
}

void WaylandPasteboard::dropHeld()
{
    if (m_heldOffer) {
        m_offers.remove(m_heldOffer);
        m_control->destroyOffer(m_heldOffer);
    }
    m_heldOffer = nullptr;
    m_heldIsEcho = false;
    m_holding = false;
}

void WaylandPasteboard::onWriteSettled(void *data, wl_callback *callback, uint32_t)
{
    static_cast<WaylandPasteboard *>(data)->writeSettled(callback);
}

void WaylandPasteboard::writeSettled(wl_callback *callback)
{
    if (callback != m_writeSync)
        return;
    wl_callback_destroy(m_writeSync);
    m_writeSync = nullptr;
    if (!m_holding)
        return;
    // The last selection seen decides: our own echo, or a clear that was
    // ours, changes nothing; another program's content came after ours.
    const OfferHandle offer = m_heldOffer;
    const bool echo = m_heldIsEcho;
    m_heldOffer = nullptr;
    m_holding = false;
    m_heldIsEcho = false;
    if (echo || (!offer && m_lastWriteClears))
        return;
    takeSelection(offer);
}

void WaylandPasteboard::sendRequested(SourceHandle source, const QByteArray &mimeType, int fd)
{
    UniqueFd pipe(fd);
    if (source != m_source || mimeType == ownWriteMarker())
        return; // an old source of ours, or the marker: nothing to give
    m_writers.write(std::move(pipe), mimeType == "STRING" ? QString::fromUtf8(m_ownedUtf8).toLatin1() : m_ownedUtf8);
}

void WaylandPasteboard::cancelled(SourceHandle source)
{
    // Another program's content replaced ours.
    m_control->destroySource(source);
    if (source == m_source) {
        m_source = nullptr;
        m_ownedUtf8.clear();
    }
}
