// The global key through KDE's shortcut service, against a stand-in
// org.kde.kglobalaccel on a private session bus that keeps what it was
// told, as the real one keeps its configuration across restarts.
#include "kde/kglobalaccel_hot_key_backend.h"
#include "private_session_bus.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QSignalSpy>
#include <QTest>

using GrabState = GlobalHotKeyBackend::GrabState;

namespace {

const int metaShiftV = QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V).toCombined();
const int ctrlAltH = QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key_H).toCombined();

// One action as the service stores it.
struct StoredAction
{
    QList<int> keys;
    QList<int> defaultKeys;
    bool fresh = true; // registered, never given keys
    bool present = false;
};

// Plays kglobalaccel's main object and our component's object, with its
// rule for setShortcut: without NoAutoloading (4) an action that already
// has keys keeps them; IsDefault (8) sets only the default; SetPresent (2)
// makes the action live.
class KGlobalAccelStandIn final : public QDBusVirtualObject
{
public:
    KGlobalAccelStandIn(QDBusConnection bus, std::map<QString, StoredAction> &store) : m_bus(bus), m_store(store)
    {
        m_bus.registerVirtualObject(QStringLiteral("/kglobalaccel"), this);
        m_bus.registerService(QStringLiteral("org.kde.kglobalaccel"));
    }
    ~KGlobalAccelStandIn() override
    {
        m_bus.unregisterService(QStringLiteral("org.kde.kglobalaccel"));
        m_bus.unregisterObject(QStringLiteral("/kglobalaccel"));
    }

    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &) override
    {
        const QString member = message.member();
        const QStringList id = message.arguments().value(0).toStringList();
        if (member == QLatin1String("getComponent")) {
            m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath("/component/" + message.arguments().value(0).toString()))));
            return true;
        }
        const QString key = id.value(0) + u'/' + id.value(1);
        if (member == QLatin1String("doRegister")) {
            m_store.try_emplace(key);
        } else if (member == QLatin1String("setInactive")) {
            m_store[key].present = false;
        } else if (member == QLatin1String("setShortcut")) {
            const QList<int> keys = qdbus_cast<QList<int>>(message.arguments().value(1));
            const uint flags = message.arguments().value(2).toUInt();
            StoredAction &action = m_store[key];
            if (flags & 8) {
                action.defaultKeys = keys;
            } else {
                if ((flags & 4) || action.fresh)
                    action.keys = keys;
                action.fresh = false;
                action.present = action.present || (flags & 2);
            }
            m_bus.send(message.createReply(QVariant::fromValue(action.keys)));
            return true;
        } else {
            return false;
        }
        m_bus.send(message.createReply());
        return true;
    }

    void press(const QString &component, const QString &action)
    {
        QDBusMessage signal = QDBusMessage::createSignal("/component/" + component, "org.kde.kglobalaccel.Component",
                                                         "globalShortcutPressed");
        signal << component << action << qlonglong(0);
        m_bus.send(signal);
    }
    // The user sets keys in System Settings.
    void setByUser(const QList<int> &keys)
    {
        m_store["tavorindle/Toggle"].keys = keys;
        QDBusMessage signal = QDBusMessage::createSignal("/kglobalaccel", "org.kde.KGlobalAccel", "yourShortcutGotChanged");
        signal << KGlobalAccelHotKeyBackend::actionId() << QVariant::fromValue(keys);
        m_bus.send(signal);
    }

private:
    QDBusConnection m_bus;
    std::map<QString, StoredAction> &m_store;
};

} // namespace

class TestKGlobalAccelHotKeyBackend : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { m_bus.start(); }
    void cleanup() { m_bus.disconnectAll(); }

    void grabTakesTheKeyTheServiceKeeps_data()
    {
        QTest::addColumn<bool>("present");
        QTest::addColumn<std::optional<QList<int>>>("userKeys"); // what an earlier run left
        QTest::addColumn<GrabState>("settled");
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QList<int>>("stored");

        QTest::newRow("no service") << false << std::optional<QList<int>>() << GrabState::Unavailable << "" << QList<int>();
        QTest::newRow("first run") << true << std::optional<QList<int>>() << GrabState::Grabbed << "Meta+Shift+V"
                                   << QList<int>{metaShiftV};
        QTest::newRow("the user's key") << true << std::optional(QList<int>{ctrlAltH}) << GrabState::Grabbed
                                        << "Ctrl+Alt+H" << QList<int>{ctrlAltH};
        QTest::newRow("the user removed the key") << true << std::optional(QList<int>{}) << GrabState::Unavailable << ""
                                                  << QList<int>{};
    }

    void grabTakesTheKeyTheServiceKeeps()
    {
        QFETCH(bool, present);
        QFETCH(std::optional<QList<int>>, userKeys);
        QFETCH(GrabState, settled);

        std::map<QString, StoredAction> store;
        if (userKeys)
            store["tavorindle/Toggle"] = {*userKeys, {metaShiftV}, false, false};
        std::unique_ptr<KGlobalAccelStandIn> service;
        if (present)
            service = std::make_unique<KGlobalAccelStandIn>(m_bus.connect("kglobalaccel"), store);

        KGlobalAccelHotKeyBackend backend(m_bus.connect("program"));
        QSignalSpy states(&backend, &GlobalHotKeyBackend::grabStateChanged);
        QCOMPARE(backend.grab(QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V)), GrabState::Pending);
        QTRY_COMPARE(states.count(), 1);
        QCOMPARE(states.at(0).at(0).value<GrabState>(), settled);
        QCOMPARE(backend.grabState(), settled);
        QTEST(backend.triggerDescription(), "trigger");
        QCOMPARE(backend.unavailableReason().isEmpty(), settled != GrabState::Unavailable);
        if (!present)
            return;
        const StoredAction &action = store.at("tavorindle/Toggle");
        QTEST(action.keys, "stored");
        QCOMPARE(action.defaultKeys, QList<int>{metaShiftV});
        QVERIFY(action.present);
    }

    void pressesChangesAndTheEnd()
    {
        std::map<QString, StoredAction> store;
        KGlobalAccelStandIn service(m_bus.connect("kglobalaccel"), store);
        KGlobalAccelHotKeyBackend backend(m_bus.connect("program"));
        QSignalSpy states(&backend, &GlobalHotKeyBackend::grabStateChanged);
        QSignalSpy pressed(&backend, &GlobalHotKeyBackend::pressed);
        backend.grab(QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V));
        QTRY_COMPARE(backend.grabState(), GrabState::Grabbed);

        // Only our component's action is ours.
        service.press("tavorindle", "Other");
        service.press("tavorindle", "Toggle");
        QTRY_COMPARE(pressed.count(), 1);

        // The user sets another key, then none, then one again.
        service.setByUser({ctrlAltH});
        QTRY_COMPARE(backend.triggerDescription(), QStringLiteral("Ctrl+Alt+H"));
        service.setByUser({});
        QTRY_COMPARE(backend.grabState(), GrabState::Unavailable);
        service.press("tavorindle", "Toggle");
        service.setByUser({metaShiftV});
        QTRY_COMPARE(backend.grabState(), GrabState::Grabbed);
        QCOMPARE(states.count(), 4);

        // Released: the service hears so, and presses no longer count.
        backend.ungrab();
        QTRY_VERIFY(!store.at("tavorindle/Toggle").present);
        service.press("tavorindle", "Toggle");
        QTest::qWait(50);
        QCOMPARE(pressed.count(), 1);
    }

private:
    PrivateSessionBus m_bus;
};

QTEST_GUILESS_MAIN(TestKGlobalAccelHotKeyBackend)
#include "tst_kglobalaccel_hot_key_backend.moc"
