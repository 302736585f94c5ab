#include "x11/x11_pasteboard.h"

#include "concealed_types.h"

#include <QDebug>
#include <QLoggingCategory>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <utility>

Q_LOGGING_CATEGORY(lcClipboard, "tavorindle.x11.clipboard", QtWarningMsg)

namespace {

// GNOME keeps the text of a Wayland owner that quits and offers it again
// itself, with one text type and without the copy's markers; XWayland shows
// that to X with the X names of that type. Through the same XWayland window
// right after a concealed copy, that is the concealed copy again.
bool isBareTextReoffer(const QStringList &targets)
{
    static const QStringList meta{QStringLiteral("TARGETS"), QStringLiteral("TIMESTAMP"), QStringLiteral("MULTIPLE")};
    static const QStringList xText{QStringLiteral("UTF8_STRING"), QStringLiteral("STRING"), QStringLiteral("TEXT")};
    static const QStringList mimeText{QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain")};
    int mimeTypes = 0;
    for (const QString &target : targets) {
        if (mimeText.contains(target))
            ++mimeTypes;
        else if (!meta.contains(target) && !xText.contains(target))
            return false;
    }
    return mimeTypes == 1;
}

} // namespace

X11Pasteboard::X11Pasteboard(std::shared_ptr<X11Connection> connection, QObject *parent)
    : X11Pasteboard(std::move(connection), Limits{}, parent)
{
}

X11Pasteboard::X11Pasteboard(std::shared_ptr<X11Connection> connection, Limits limits,
                             QObject *parent)
    : Pasteboard(parent)
    , m_connection(std::move(connection))
    , m_clipboard(m_connection->atom("CLIPBOARD"))
    , m_reader(m_connection, m_clipboard, limits,
               [this](X11ClipboardReader::Content content) { onRead(std::move(content)); })
    , m_server(m_connection, m_clipboard, limits.serveTimeout)
{
    Display *display = m_connection->display();
    int eventBase = 0;
    int errorBase = 0;
    if (XFixesQueryExtension(display, &eventBase, &errorBase)) {
        int major = 5;
        int minor = 0;
        XFixesQueryVersion(display, &major, &minor);
        XFixesSelectSelectionInput(display, m_server.window(), m_clipboard,
                                   XFixesSetSelectionOwnerNotifyMask
                                       | XFixesSelectionWindowDestroyNotifyMask
                                       | XFixesSelectionClientCloseNotifyMask);
        m_xfixesEventBase = eventBase;
    } else {
        qWarning("X11: the XFixes extension is missing; clipboard changes go unseen");
    }
    m_handlerId = m_connection->addEventHandler([this](XEvent &event) { handleEvent(event); });

    // Learn what is there now, without counting it as a change: content
    // that predates us is never news.
    // The request carries a real time, so that an owner that takes the
    // clipboard meanwhile can tell that it is not meant (ICCCM).
    m_reader.setConcealedRule([this](const QStringList &types) { return isConcealed(types); });
    if (const Window owner = XGetSelectionOwner(display, m_clipboard); owner != None) {
        m_readOwner = owner;
        m_readIsInitial = true;
        m_reader.start(m_connection->serverTime());
    }
    m_connection->flush();
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
    if (!m_reader.handleEvent(event))
        m_server.handleEvent(event);
}

void X11Pasteboard::onOwnerChanged(unsigned long owner, unsigned long time)
{
    qCDebug(lcClipboard) << "owner" << Qt::hex << owner << Qt::dec << "time" << time << "owning" << m_server.owns();
    if (owner == m_server.window())
        return; // our own write, counted when it was made
    m_lostOwnerSince = CurrentTime;
    // A report older than our latest write describes an owner we replaced.
    if (m_server.owns() && time != CurrentTime && x11TimeBefore(time, m_server.ownedSince()))
        return;
    m_server.release();
    m_readIsInitial = false;
    m_readOwner = owner;
    m_reader.start(time);
}

void X11Pasteboard::onOwnerGone(bool ownerQuit, unsigned long ownerSince)
{
    qCDebug(lcClipboard) << "owner gone; reading" << m_reader.isReading() << "owning" << m_server.owns();
    if (m_server.owns())
        return; // a late report about an owner that our write replaced
    const bool wasReading = m_reader.isReading();
    m_reader.abandon();
    m_lostOwnerSince = CurrentTime;
    if (ownerQuit && !wasReading && m_content.isForeign()) {
        const qint64 before = m_content.changeCount();
        m_lostOwnerSince = ownerSince;
        emit ownerVanished();
        if (m_content.changeCount() != before)
            return; // a receiver offered something in its place
    }
    publish({}, false, false);
}

bool X11Pasteboard::isConcealed(const QStringList &types) const
{
    return hasConcealedType(types)
           || (m_concealedOwner != None && m_readOwner == m_concealedOwner && isBareTextReoffer(types));
}

void X11Pasteboard::onRead(X11ClipboardReader::Content content)
{
    if (content.types && !hasConcealedType(*content.types) && isConcealed(*content.types))
        content.types->append(inheritedConcealmentMarker());
    m_concealedOwner = content.types && hasConcealedType(*content.types) ? m_readOwner : None;
    // A read given up (no answer in time, too much) counts as dealt with,
    // with no text; its loss is not announced.
    publish({std::move(content.types), std::move(content.text)}, content.complete,
            std::exchange(m_readIsInitial, false));
}

void X11Pasteboard::publish(PasteboardSnapshot snapshot, bool foreign, bool initial)
{
    qCDebug(lcClipboard) << "publish" << (snapshot.text ? snapshot.text->size() : -1) << "initial" << initial
                         << snapshot.types.value_or(QStringList());
    if (m_content.publish(std::move(snapshot), foreign, initial))
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
    if (since == CurrentTime || !m_server.claim(since))
        return false;
    offer(text, since);
    return true;
}

void X11Pasteboard::takeOwnership(const std::optional<QString> &text)
{
    const unsigned long time = m_connection->serverTime();
    m_server.claim(time);
    offer(text, time);
}

void X11Pasteboard::offer(const std::optional<QString> &text, unsigned long since)
{
    m_reader.abandon();
    m_readIsInitial = false;
    m_lostOwnerSince = CurrentTime;
    static const QStringList types{QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"),
                                   QStringLiteral("text/plain"), QStringLiteral("STRING"), QStringLiteral("TEXT")};
    m_server.offer(text, since);
    m_content.recordOwnWrite(text, types);
    m_connection->flush();
}
