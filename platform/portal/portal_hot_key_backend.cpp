#include "portal/portal_hot_key_backend.h"
#include "portal/portal_shortcut.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QKeySequence>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPortal, "tavorindle.portal", QtWarningMsg)

namespace {

const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");
// Fixed, so that the desktop can remember what the user assigned.
const QString sessionToken = QStringLiteral("tavorindle");

QList<PortalShortcut> shortcutsFrom(const QVariant &value)
{
    QList<PortalShortcut> shortcuts;
    if (value.canConvert<QDBusArgument>())
        value.value<QDBusArgument>() >> shortcuts;
    return shortcuts;
}

} // namespace

// One Request object's Response, handed to a function.
class PortalResponse : public QObject
{
    Q_OBJECT
public:
    explicit PortalResponse(std::function<void(uint, const QVariantMap &)> done, QObject *parent)
        : QObject(parent), m_done(std::move(done))
    {
    }

public slots:
    void onResponse(uint response, const QVariantMap &results)
    {
        auto done = std::move(m_done);
        deleteLater();
        if (done)
            done(response, results);
    }

private:
    std::function<void(uint, const QVariantMap &)> m_done;
};

PortalHotKeyBackend::PortalHotKeyBackend(QDBusConnection bus, QObject *parent)
    : GlobalHotKeyBackend(parent)
    , m_bus(std::move(bus))
{
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("Activated"), this,
                  SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
    m_bus.connect(portalService, portalPath, shortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                  SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalHotKeyBackend::~PortalHotKeyBackend()
{
    closeSession();
}

QString PortalHotKeyBackend::preferredTrigger(QKeyCombination combination)
{
    QStringList parts;
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (modifiers & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    const Qt::Key key = combination.key();
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        parts << QString(QChar(u'a' + (key - Qt::Key_A)));
    else
        parts << QKeySequence(key).toString();
    return parts.join(u'+');
}

PortalHotKeyBackend::GrabState PortalHotKeyBackend::grab(QKeyCombination combination)
{
    closeSession();
    ++m_generation;
    m_combination = combination;
    m_trigger.clear();
    m_reason.clear();
    m_state = GrabState::Pending;
    // Whether the portal offers global shortcuts at all.
    QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath,
                                                          QStringLiteral("org.freedesktop.DBus.Properties"),
                                                          QStringLiteral("Get"));
    message << shortcutsInterface << QStringLiteral("version");
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, generation = m_generation](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (generation != m_generation)
            return;
        if (w->isError()) {
            qCDebug(lcPortal) << "no global shortcuts:" << w->error().message();
            settle(GrabState::Unavailable, QStringLiteral("the desktop portal offers no global shortcuts"));
            return;
        }
        createSession();
    });
    return m_state;
}

void PortalHotKeyBackend::ungrab()
{
    ++m_generation;
    closeSession();
    m_state = GrabState::Released;
    m_trigger.clear();
}

QString PortalHotKeyBackend::requestPath(const QString &token) const
{
    // The portal names the request after our unique bus name and the token.
    QString sender = m_bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void PortalHotKeyBackend::request(const QString &method, QList<QVariant> arguments, const QString &token,
                                  std::function<void(uint, const QVariantMap &)> done)
{
    // Listen before asking, so that no answer can slip by.
    auto *response = new PortalResponse(std::move(done), this);
    const QString path = requestPath(token);
    m_bus.connect(portalService, path, requestInterface, QStringLiteral("Response"), response,
                  SLOT(onResponse(uint, QVariantMap)));
    QDBusMessage message = QDBusMessage::createMethodCall(portalService, portalPath, shortcutsInterface, method);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, response, path](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        if (!w->isError())
            return;
        qCDebug(lcPortal) << "request failed:" << w->error().message();
        m_bus.disconnect(portalService, path, requestInterface, QStringLiteral("Response"), response,
                         SLOT(onResponse(uint, QVariantMap)));
        response->onResponse(2, {});
    });
}

void PortalHotKeyBackend::createSession()
{
    const QString token = QStringLiteral("tavorindle_session%1").arg(++m_nextToken);
    const QVariantMap options{{QStringLiteral("handle_token"), token},
                              {QStringLiteral("session_handle_token"), sessionToken}};
    request(QStringLiteral("CreateSession"), {options}, token,
            [this, generation = m_generation](uint response, const QVariantMap &results) {
                if (generation != m_generation)
                    return;
                // A string by the interface's word; some portals send a path.
                const QVariant handle = results.value(QStringLiteral("session_handle"));
                m_sessionPath = handle.userType() == qMetaTypeId<QDBusObjectPath>()
                    ? handle.value<QDBusObjectPath>().path()
                    : handle.toString();
                if (response != 0 || m_sessionPath.isEmpty()) {
                    m_sessionPath.clear();
                    settle(GrabState::Unavailable, QStringLiteral("the desktop portal opened no session"));
                    return;
                }
                m_bus.connect(portalService, m_sessionPath, sessionInterface, QStringLiteral("Closed"), this,
                              SLOT(onSessionClosed(QVariantMap)));
                bindShortcut();
            });
}

void PortalHotKeyBackend::bindShortcut()
{
    const QString token = QStringLiteral("tavorindle_bind%1").arg(++m_nextToken);
    const PortalShortcut shortcut{QString::fromLatin1(shortcutId),
                                  {{QStringLiteral("description"), QStringLiteral("Show or hide Tavorindle")},
                                   {QStringLiteral("preferred_trigger"), preferredTrigger(m_combination)}}};
    const QVariantMap options{{QStringLiteral("handle_token"), token}};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_sessionPath)),
             QVariant::fromValue(QList<PortalShortcut>{shortcut}), QString(), options},
            token, [this, generation = m_generation](uint response, const QVariantMap &results) {
                if (generation != m_generation)
                    return;
                if (response != 0) {
                    settle(GrabState::Unavailable, response == 1 ? QStringLiteral("the user declined it")
                                                                 : QStringLiteral("the desktop portal refused it"));
                    return;
                }
                takeShortcuts(results.value(QStringLiteral("shortcuts")));
            });
}

void PortalHotKeyBackend::takeShortcuts(const QVariant &shortcuts)
{
    for (const PortalShortcut &shortcut : shortcutsFrom(shortcuts)) {
        if (shortcut.id != QLatin1String(shortcutId))
            continue;
        m_trigger = shortcut.properties.value(QStringLiteral("trigger_description")).toString();
        settle(GrabState::Grabbed);
        return;
    }
    m_trigger.clear();
    settle(GrabState::Unavailable, QStringLiteral("the desktop did not bind it"));
}

void PortalHotKeyBackend::settle(GrabState state, const QString &reason)
{
    if (state == GrabState::Unavailable)
        m_reason = reason;
    // A new trigger on a held grab is news too.
    m_state = state;
    emit grabStateChanged(state);
}

void PortalHotKeyBackend::onActivated(const QDBusObjectPath &session, const QString &id, qulonglong,
                                      const QVariantMap &)
{
    if (m_state == GrabState::Grabbed && session.path() == m_sessionPath && id == QLatin1String(shortcutId))
        emit pressed();
}

void PortalHotKeyBackend::onShortcutsChanged(const QDBusMessage &message)
{
    const QList<QVariant> arguments = message.arguments();
    if (m_sessionPath.isEmpty() || arguments.size() < 2
        || arguments[0].value<QDBusObjectPath>().path() != m_sessionPath)
        return;
    takeShortcuts(arguments[1]);
}

void PortalHotKeyBackend::onSessionClosed(const QVariantMap &)
{
    m_bus.disconnect(portalService, m_sessionPath, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(onSessionClosed(QVariantMap)));
    m_sessionPath.clear();
    ++m_generation;
    settle(GrabState::Unavailable, QStringLiteral("the desktop portal closed the session"));
}

void PortalHotKeyBackend::closeSession()
{
    if (m_sessionPath.isEmpty())
        return;
    m_bus.disconnect(portalService, m_sessionPath, sessionInterface, QStringLiteral("Closed"), this,
                     SLOT(onSessionClosed(QVariantMap)));
    m_bus.asyncCall(QDBusMessage::createMethodCall(portalService, m_sessionPath, sessionInterface,
                                                   QStringLiteral("Close")));
    m_sessionPath.clear();
}

#include "portal_hot_key_backend.moc"
