#include "kde/kglobalaccel_hot_key_backend.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QKeySequence>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcKGlobalAccel, "tavorindle.kglobalaccel", QtWarningMsg)

namespace {

const QString mainPath = QStringLiteral("/kglobalaccel");
const QString mainInterface = QStringLiteral("org.kde.KGlobalAccel");
const QString componentInterface = QStringLiteral("org.kde.kglobalaccel.Component");

// setShortcut's flags. Without NoAutoloading the service keeps a key it
// already has for the action (the user's) and answers with it; SetPresent
// makes the action live, so that its presses are signalled.
constexpr uint setPresent = 2;
constexpr uint isDefault = 8;

QString serviceName()
{
    return QString::fromLatin1(KGlobalAccelHotKeyBackend::service);
}

} // namespace

KGlobalAccelHotKeyBackend::KGlobalAccelHotKeyBackend(QDBusConnection bus, QObject *parent)
    : GlobalHotKeyBackend(parent)
    , m_bus(std::move(bus))
{
    m_bus.connect(serviceName(), mainPath, mainInterface, QStringLiteral("yourShortcutGotChanged"), this,
                  SLOT(onKeysChanged(QStringList, QList<int>)));
}

KGlobalAccelHotKeyBackend::~KGlobalAccelHotKeyBackend()
{
    ungrab();
}

bool KGlobalAccelHotKeyBackend::isPresent(const QDBusConnection &bus)
{
    QDBusConnectionInterface *daemon = bus.interface();
    if (!daemon)
        return false;
    if (daemon->isServiceRegistered(serviceName()).value())
        return true;
    return daemon->activatableServiceNames().value().contains(serviceName());
}

QStringList KGlobalAccelHotKeyBackend::actionId()
{
    return {QString::fromLatin1(componentName), QString::fromLatin1(actionName), QStringLiteral("Tavorindle"),
            QStringLiteral("Show or hide Tavorindle")};
}

KGlobalAccelHotKeyBackend::GrabState KGlobalAccelHotKeyBackend::grab(QKeyCombination combination)
{
    ungrab();
    m_reason.clear();
    m_state = GrabState::Pending;
    const QList<int> keys{combination.toCombined()};
    const QVariant id = actionId();
    // The service answers in the order asked: register, offer the default,
    // take the key it keeps, then learn where the component's presses come.
    call(QStringLiteral("doRegister"), {id}, [this](const QDBusPendingCall &reply) {
        if (reply.isError())
            fail(QStringLiteral("KDE's shortcut service did not register it"), reply);
    });
    call(QStringLiteral("setShortcut"), {id, QVariant::fromValue(keys), isDefault}, [](const QDBusPendingCall &) {});
    call(QStringLiteral("setShortcut"), {id, QVariant::fromValue(keys), setPresent}, [this](const QDBusPendingCall &answer) {
        QDBusPendingReply<QList<int>> kept(answer);
        if (kept.isError()) {
            fail(QStringLiteral("KDE's shortcut service refused it"), answer);
            return;
        }
        call(QStringLiteral("getComponent"), {QString::fromLatin1(componentName)}, [this, keys = kept.value()](const QDBusPendingCall &answer) {
            QDBusPendingReply<QDBusObjectPath> path(answer);
            if (path.isError()) {
                fail(QStringLiteral("KDE's shortcut service lost the component"), answer);
                return;
            }
            listenTo(path.value().path());
            takeKeys(keys);
        });
    });
    return m_state;
}

void KGlobalAccelHotKeyBackend::ungrab()
{
    ++m_generation;
    if (m_state == GrabState::Pending || !m_componentPath.isEmpty()) {
        // Presses stop coming, and System Settings shows the action idle.
        QDBusMessage message = QDBusMessage::createMethodCall(serviceName(), mainPath, mainInterface,
                                                              QStringLiteral("setInactive"));
        message << actionId();
        m_bus.send(message);
    }
    stopListening();
    m_state = GrabState::Released;
    m_trigger.clear();
}

void KGlobalAccelHotKeyBackend::call(const QString &method, const QList<QVariant> &arguments,
                                     std::function<void(const QDBusPendingCall &)> done)
{
    QDBusMessage message = QDBusMessage::createMethodCall(serviceName(), mainPath, mainInterface, method);
    message.setArguments(arguments);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, generation = m_generation, done = std::move(done)](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                if (generation == m_generation && m_state == GrabState::Pending)
                    done(*w);
            });
}

void KGlobalAccelHotKeyBackend::fail(const QString &what, const QDBusPendingCall &reply)
{
    qCDebug(lcKGlobalAccel) << what << reply.error().message();
    ++m_generation;
    const bool absent = reply.error().type() == QDBusError::ServiceUnknown;
    settle(GrabState::Unavailable, absent ? QStringLiteral("KDE's shortcut service is not running") : what);
}

void KGlobalAccelHotKeyBackend::takeKeys(const QList<int> &keys)
{
    const int key = keys.value(0);
    if (key == 0) {
        m_trigger.clear();
        settle(GrabState::Unavailable, QStringLiteral("no key is set for it in System Settings, Shortcuts"));
        return;
    }
    m_trigger = QKeySequence(key).toString(QKeySequence::PortableText);
    settle(GrabState::Grabbed);
}

void KGlobalAccelHotKeyBackend::listenTo(const QString &componentPath)
{
    stopListening();
    m_componentPath = componentPath;
    m_bus.connect(serviceName(), m_componentPath, componentInterface, QStringLiteral("globalShortcutPressed"), this,
                  SLOT(onPressed(QString, QString, qlonglong)));
}

void KGlobalAccelHotKeyBackend::stopListening()
{
    if (m_componentPath.isEmpty())
        return;
    m_bus.disconnect(serviceName(), m_componentPath, componentInterface, QStringLiteral("globalShortcutPressed"),
                     this, SLOT(onPressed(QString, QString, qlonglong)));
    m_componentPath.clear();
}

void KGlobalAccelHotKeyBackend::settle(GrabState state, const QString &reason)
{
    if (state == GrabState::Unavailable)
        m_reason = reason;
    m_state = state;
    emit grabStateChanged(state);
}

void KGlobalAccelHotKeyBackend::onPressed(const QString &component, const QString &action, qlonglong)
{
    if (m_state == GrabState::Grabbed && component == QLatin1String(componentName)
        && action == QLatin1String(actionName))
        emit pressed();
}

void KGlobalAccelHotKeyBackend::onKeysChanged(const QStringList &changed, const QList<int> &keys)
{
    // The user set another key, or none, in System Settings.
    if (m_componentPath.isEmpty() || changed.value(0) != QLatin1String(componentName)
        || changed.value(1) != QLatin1String(actionName))
        return;
    takeKeys(keys);
}
