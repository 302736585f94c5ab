// The hot-key manager over a fake global-key backend.
#include "hot_key_manager.h"
#include "memory/memory_hot_key_backend.h"

#include <QTest>

class TestHotKeyManager : public QObject
{
    Q_OBJECT
private slots:
    void registerTwiceThenUnregister()
    {
        MemoryHotKeyBackend backend;
        HotKeyManager manager(backend);
        QVERIFY(manager.registerDefaultHotKey());
        QCOMPARE(backend.grabbedCombination(),
                 std::optional(QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V)));
        backend.press(); // no callback yet: nothing to call
        int calls = 0;
        manager.onHotKeyTriggered = [&] { ++calls; }; // read at each press
        backend.press();
        QCOMPARE(calls, 1);

        // Registering again releases the first grab and leaves one handler.
        QVERIFY(manager.registerDefaultHotKey());
        QCOMPARE(backend.grabs().size(), 2);
        QCOMPARE(backend.ungrabs(), 1);
        backend.press();
        QCOMPARE(calls, 2);

        manager.unregisterHotKey();
        QVERIFY(!manager.isRegistered());
        QVERIFY(!backend.isGrabbed());
        emit backend.pressed(); // even a stray event from the backend
        QCOMPARE(calls, 2);
        QCOMPARE(backend.ungrabs(), 2);
    }

    void takenCombinationLeavesTheProgramWithoutIt()
    {
        MemoryHotKeyBackend backend;
        backend.setAvailable(false);
        HotKeyManager manager(backend);
        int calls = 0;
        manager.onHotKeyTriggered = [&] { ++calls; };
        QVERIFY(!manager.registerDefaultHotKey());
        QVERIFY(!manager.isRegistered());

        // Freed later, a new registration takes it.
        backend.setAvailable(true);
        QVERIFY(manager.registerDefaultHotKey());
        backend.press();
        QCOMPARE(calls, 1);
    }

    void destructionReleasesTheKey()
    {
        MemoryHotKeyBackend backend;
        {
            HotKeyManager manager(backend);
            QVERIFY(manager.registerDefaultHotKey());
        }
        QVERIFY(!backend.isGrabbed());
        QCOMPARE(backend.ungrabs(), 1);
    }
};

QTEST_MAIN(TestHotKeyManager)
#include "tst_hot_key_manager.moc"
