#include "gnome/gnome_bridge.h"

#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusUnixFileDescriptor>
#include <QFileInfo>

#include <unistd.h>

// What the bridge may call. A separate object, so that only these methods
// are on the bus.
class BridgeEndpoint : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "app.tavorindle.Client1")
public:
    explicit BridgeEndpoint(GnomeBridge &bridge) : m_bridge(bridge) {}

public slots:
    void ClipboardChanged(const QVariantMap &change)
    {
        if (!admitted())
            return;
        QString error;
        if (const auto decoded = decodeClipboardChange(change, &error))
            emit m_bridge.clipboardChanged(*decoded);
        else
            sendErrorReply(QLatin1String(BridgeBus::invalidArgs), error);
    }

    void FocusChanged(const QVariantMap &focus)
    {
        if (!admitted())
            return;
        QString error;
        if (const auto decoded = decodeFocus(focus, &error))
            emit m_bridge.focusChanged(*decoded);
        else
            sendErrorReply(QLatin1String(BridgeBus::invalidArgs), error);
    }

    void HotKeyPressed()
    {
        if (admitted())
            emit m_bridge.hotKeyPressed();
    }

    void HotKeyChanged(const QStringList &accelerators)
    {
        if (admitted())
            emit m_bridge.hotKeyChanged(accelerators);
    }

private:
    bool admitted()
    {
        if (m_bridge.admit(message().service()))
            return true;
        sendErrorReply(QLatin1String(BridgeBus::accessDenied),
                       QStringLiteral("only the GNOME Shell bridge may call Tavorindle"));
        return false;
    }

    GnomeBridge &m_bridge;
};

GnomeBridge::GnomeBridge(QDBusConnection bus, PeerCheck check, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
    , m_check(check ? std::move(check) : PeerCheck(&GnomeBridge::isUsersShell))
    , m_endpoint(std::make_unique<BridgeEndpoint>(*this))
{
    if (!m_bus.isConnected())
        return;
    m_bus.registerObject(QLatin1String(BridgeBus::programPath), m_endpoint.get(),
                         QDBusConnection::ExportAllSlots);
    m_ownsName = m_bus.registerService(QLatin1String(BridgeBus::programName));
    m_watcher = new QDBusServiceWatcher(QLatin1String(BridgeBus::bridgeName), m_bus,
                                        QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString &, const QString &, const QString &owner) { ownerChanged(owner); });
    ownerChanged(m_bus.interface()->serviceOwner(QLatin1String(BridgeBus::bridgeName)));
}

GnomeBridge::~GnomeBridge()
{
    if (!m_bus.isConnected())
        return;
    m_bus.unregisterObject(QLatin1String(BridgeBus::programPath));
    if (m_ownsName)
        m_bus.unregisterService(QLatin1String(BridgeBus::programName));
}

bool GnomeBridge::bridgePresent(const QDBusConnection &bus)
{
    return bus.isConnected() && bus.interface()->isServiceRegistered(QLatin1String(BridgeBus::bridgeName));
}

bool GnomeBridge::isUsersShell(const QDBusConnection &bus, const QString &uniqueName)
{
    const auto uid = bus.interface()->serviceUid(uniqueName);
    const auto pid = bus.interface()->servicePid(uniqueName);
    if (!uid.isValid() || uid.value() != ::getuid() || !pid.isValid())
        return false;
    const QString exe = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid.value())).symLinkTarget();
    return QFileInfo(exe).fileName() == QLatin1String("gnome-shell");
}

bool GnomeBridge::admit(const QString &sender)
{
    if (m_bridge.isEmpty() || sender != m_bridge)
        return false;
    if (!m_greeted) {
        m_greeted = true;
        emit connectionChanged(true);
    }
    return true;
}

void GnomeBridge::ownerChanged(const QString &owner)
{
    const bool was = isConnected();
    m_bridge.clear();
    m_greeted = false;
    if (!owner.isEmpty()) {
        if (m_check(m_bus, owner))
            m_bridge = owner;
        else
            qWarning("Tavorindle: %s owns the GNOME Shell bridge's bus name but is not this user's "
                     "GNOME Shell; not talking to it", qPrintable(owner));
    }
    if (was) {
        qWarning("GNOME Shell bridge gone: clipboard changes, the key and the paste wait until it is back");
        emit connectionChanged(false);
    }
}

void GnomeBridge::call(const QString &method, const QVariantList &arguments,
                       std::function<void(const QDBusMessage &)> done)
{
    if (m_bridge.isEmpty()) {
        if (done)
            done(QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown"),
                                           QStringLiteral("no bridge")));
        return;
    }
    // To the unique name we checked, never to whoever owns the name next.
    QDBusMessage message = QDBusMessage::createMethodCall(
        m_bridge, QLatin1String(BridgeBus::bridgePath), QLatin1String(BridgeBus::bridgeInterface), method);
    message.setArguments(arguments);
    message.setAutoStartService(false);
    if (!done) {
        m_bus.send(message);
        return;
    }
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, 30000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [done](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        done(w->reply());
    });
}

void GnomeBridge::setClipboard(quint64 token, const QString &text, bool onlyIfUnowned,
                               std::function<void(bool)> done)
{
    call(QStringLiteral("SetClipboard"), {QVariant::fromValue(token), text.toUtf8(), onlyIfUnowned},
         [done](const QDBusMessage &reply) { done(reply.type() == QDBusMessage::ReplyMessage); });
}

void GnomeBridge::readText(quint64 serial, int writeFd, std::function<void(bool)> done)
{
    // The reply comes when the transfer ends, which may take a while.
    call(QStringLiteral("ReadText"),
         {QVariant::fromValue(serial), QVariant::fromValue(QDBusUnixFileDescriptor(writeFd))},
         [done](const QDBusMessage &reply) {
             done(reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool());
         });
}

void GnomeBridge::postPasteStroke(const QString &stroke)
{
    call(QStringLiteral("PostPasteStroke"), {stroke});
}

void GnomeBridge::activateWindow(quint64 window)
{
    call(QStringLiteral("ActivateWindow"), {QVariant::fromValue(window)});
}

void GnomeBridge::setHotKeyEnabled(bool enabled, std::function<void(bool, QStringList)> done)
{
    call(QStringLiteral("SetHotKeyEnabled"), {enabled}, [done](const QDBusMessage &reply) {
        const QVariantList args = reply.arguments();
        if (reply.type() != QDBusMessage::ReplyMessage || args.size() != 2)
            done(false, {});
        else
            done(args.at(0).toBool(), args.at(1).toStringList());
    });
}

#include "gnome_bridge.moc"
