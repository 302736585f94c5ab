// The global key through the desktop portal, against a stand-in
// GlobalShortcuts service on a private session bus.
#include "portal/portal_hot_key_backend.h"
#include "portal/portal_shortcut.h"
#include "private_session_bus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTest>

using GrabState = GlobalHotKeyBackend::GrabState;

namespace {

const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");

// What the stand-in portal does when asked to bind.
enum class Portal { WithoutShortcuts, Refusing, BindingAtOnce, BindingLater };

// Plays xdg-desktop-portal's GlobalShortcuts frontend on the bus while it
// lives, by the messages it gets: requests answer through Request objects'
// Response signals.
class PortalStandIn final : public QDBusVirtualObject
{
public:
    PortalStandIn(QDBusConnection bus, Portal behaviour) : m_bus(bus), m_behaviour(behaviour)
    {
        m_bus.registerVirtualObject(portalPath, this, QDBusConnection::SubPath);
        m_bus.registerService(QStringLiteral("org.freedesktop.portal.Desktop"));
    }
    ~PortalStandIn() override
    {
        m_bus.unregisterService(QStringLiteral("org.freedesktop.portal.Desktop"));
        m_bus.unregisterObject(portalPath, QDBusConnection::UnregisterTree);
    }

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        const QString member = message.member();
        if (member == QLatin1String("Close")) {
            m_bus.send(message.createReply());
            return true;
        }
        if (member == QLatin1String("Get")) {
            if (m_behaviour == Portal::WithoutShortcuts)
                m_bus.send(message.createErrorReply(QStringLiteral("org.freedesktop.DBus.Error.UnknownInterface"),
                                                    QStringLiteral("No such interface")));
            else
                m_bus.send(message.createReply(QVariant::fromValue(QDBusVariant(uint(1)))));
            return true;
        }
        const QVariantMap options = qdbus_cast<QVariantMap>(
            message.arguments().value(member == QLatin1String("CreateSession") ? 0 : 3));
        QString sender = message.service().mid(1).replace(u'.', u'_');
        const QString request = QStringLiteral("%1/request/%2/%3")
                                    .arg(portalPath, sender, options.value(QStringLiteral("handle_token")).toString());
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (member == QLatin1String("CreateSession")) {
            m_session = QStringLiteral("%1/session/%2/%3")
                            .arg(portalPath, sender, options.value(QStringLiteral("session_handle_token")).toString());
            ++m_sessions;
            respond(request, 0, {{QStringLiteral("session_handle"), m_session}});
        } else if (member == QLatin1String("BindShortcuts")) {
            m_bindRequest = request;
            for (const PortalShortcut &shortcut : qdbus_cast<QList<PortalShortcut>>(message.arguments().value(1)))
                m_asked << shortcut.id + QLatin1Char('=')
                        + shortcut.properties.value(QStringLiteral("preferred_trigger")).toString();
            if (m_behaviour == Portal::Refusing)
                respond(request, 1, {});
            else if (m_behaviour == Portal::BindingAtOnce)
                bind(QStringLiteral("Super+Shift+V"));
        }
        return true;
    }

    // The user assigns a key to the pending request.
    void bind(const QString &trigger) { respond(m_bindRequest, 0, {{QStringLiteral("shortcuts"), shortcuts(trigger)}}); }
    void activate(const QString &session)
    {
        send(portalPath, shortcutsInterface, "Activated",
             {QVariant::fromValue(QDBusObjectPath(session)), QStringLiteral("toggle"), qulonglong(0), QVariantMap()});
    }
    void change(const QString &trigger)
    {
        send(portalPath, shortcutsInterface, "ShortcutsChanged",
             {QVariant::fromValue(QDBusObjectPath(m_session)), shortcuts(trigger)});
    }
    void closeSession() { send(m_session, QStringLiteral("org.freedesktop.portal.Session"), "Closed", {QVariantMap()}); }
    QString session() const { return m_session; }
    int sessions() const { return m_sessions; }
    QStringList asked() const { return m_asked; }

private:
    QVariant shortcuts(const QString &trigger) const
    {
        return QVariant::fromValue(QList<PortalShortcut>{
            {QStringLiteral("toggle"), {{QStringLiteral("description"), QStringLiteral("toggle")},
                                        {QStringLiteral("trigger_description"), trigger}}}});
    }
    void respond(const QString &request, uint code, const QVariantMap &results)
    {
        send(request, QStringLiteral("org.freedesktop.portal.Request"), "Response", {code, results});
    }
    void send(const QString &path, const QString &interface, const char *name, const QVariantList &arguments)
    {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, QLatin1String(name));
        signal.setArguments(arguments);
        m_bus.send(signal);
    }

    QDBusConnection m_bus;
    Portal m_behaviour;
    QString m_session;
    QString m_bindRequest;
    QStringList m_asked;
    int m_sessions = 0;
};

} // namespace

class TestPortalHotKeyBackend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        m_bus.start();
    }

    void cleanup() { m_bus.disconnectAll(); }

    void followsThePortal_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<Portal>("behaviour");
        QTest::addColumn<GrabState>("settled");
        QTest::addColumn<QString>("trigger");

        QTest::newRow("no portal") << false << Portal::WithoutShortcuts << GrabState::Unavailable << "";
        QTest::newRow("portal without shortcuts") << true << Portal::WithoutShortcuts << GrabState::Unavailable << "";
        QTest::newRow("refused") << true << Portal::Refusing << GrabState::Unavailable << "";
        QTest::newRow("bound at once") << true << Portal::BindingAtOnce << GrabState::Grabbed << "Super+Shift+V";
        QTest::newRow("bound later") << true << Portal::BindingLater << GrabState::Grabbed << "Ctrl+Alt+H";
    }

    void followsThePortal()
    {
        QFETCH(bool, present);
        QFETCH(Portal, behaviour);
        QFETCH(GrabState, settled);
        QFETCH(QString, trigger);

        QDBusConnection portalBus = connect(QStringLiteral("portal"));
        std::unique_ptr<PortalStandIn> portal;
        if (present)
            portal = std::make_unique<PortalStandIn>(portalBus, behaviour);

        PortalHotKeyBackend backend(connect(QStringLiteral("program")));
        QSignalSpy states(&backend, &GlobalHotKeyBackend::grabStateChanged);
        QCOMPARE(backend.grab(QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V)), GrabState::Pending);
        if (behaviour == Portal::BindingLater) {
            // The user is being asked: nothing settles meanwhile.
            QTRY_COMPARE(portal->asked(), QStringList{"toggle=LOGO+SHIFT+v"});
            QTest::qWait(100);
            QCOMPARE(states.count(), 0);
            QCOMPARE(backend.grabState(), GrabState::Pending);
            portal->bind(trigger);
        }
        QTRY_COMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).value<GrabState>(), settled);
        QCOMPARE(backend.grabState(), settled);
        QCOMPARE(backend.triggerDescription(), trigger);
        QCOMPARE(backend.unavailableReason().isEmpty(), settled != GrabState::Unavailable);
    }

    void aSessionFromActivationToItsEnd()
    {
        QDBusConnection portalBus = connect(QStringLiteral("portal"));
        PortalStandIn portal(portalBus, Portal::BindingAtOnce);
        PortalHotKeyBackend backend(connect(QStringLiteral("program")));
        QSignalSpy states(&backend, &GlobalHotKeyBackend::grabStateChanged);
        QSignalSpy pressed(&backend, &GlobalHotKeyBackend::pressed);
        const QKeyCombination key(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V);
        backend.grab(key);
        QTRY_COMPARE(backend.grabState(), GrabState::Grabbed);

        // Only our session's activations are presses.
        portal.activate(QStringLiteral("/org/freedesktop/portal/desktop/session/other/tavorindle"));
        portal.activate(portal.session());
        QTRY_COMPARE(pressed.count(), 1);

        portal.change(QStringLiteral("Meta+C"));
        QTRY_COMPARE(states.count(), 2);
        QCOMPARE(backend.grabState(), GrabState::Grabbed);
        QCOMPARE(backend.triggerDescription(), QStringLiteral("Meta+C"));

        // A closed session's presses no longer count; a new grab opens a new one.
        portal.closeSession();
        QTRY_COMPARE(states.count(), 3);
        QCOMPARE(backend.grabState(), GrabState::Unavailable);
        portal.activate(portal.session());
        backend.grab(key);
        QTRY_COMPARE(backend.grabState(), GrabState::Grabbed);
        QCOMPARE(portal.sessions(), 2);

        // Nor do they after ungrab().
        backend.ungrab();
        QCOMPARE(backend.grabState(), GrabState::Released);
        portal.activate(portal.session());
        QTest::qWait(50);
        QCOMPARE(pressed.count(), 1);
    }

private:
    QDBusConnection connect(const QString &name) { return m_bus.connect(name); }

    PrivateSessionBus m_bus;
};

QTEST_GUILESS_MAIN(TestPortalHotKeyBackend)
#include "tst_portal_hot_key_backend.moc"
