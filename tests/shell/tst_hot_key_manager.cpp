// The hot-key manager over a fake global-key backend.
#include "hot_key_manager.h"
#include "memory/memory_hot_key_backend.h"

#include <QTest>

class TestHotKeyManager : public QObject
{
    Q_OBJECT
private slots:
    void pressCallsTheCallbackOnce();
    void pressWithoutCallbackDoesNothing();
    void registeringTwiceLeavesOneHandler();
    void unregisterStopsPressesAndIsIdempotent();
    void takenCombinationLeavesTheProgramWithoutIt();
    void destructionReleasesTheKey();
};

void TestHotKeyManager::pressCallsTheCallbackOnce()
{
    MemoryHotKeyBackend backend;
    HotKeyManager manager(backend);
    QVERIFY(manager.registerDefaultHotKey());
    QCOMPARE(backend.grabbedCombination(),
             std::optional<QKeyCombination>(QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V)));
    int calls = 0;
    // Set after registering: read at each press.
    manager.onHotKeyTriggered = [&] { ++calls; };
    backend.press();
    QCOMPARE(calls, 1);
    backend.press();
    QCOMPARE(calls, 2);
}

void TestHotKeyManager::pressWithoutCallbackDoesNothing()
{
    MemoryHotKeyBackend backend;
    HotKeyManager manager(backend);
    manager.registerDefaultHotKey();
    backend.press();
    QVERIFY(manager.isRegistered());
}

void TestHotKeyManager::registeringTwiceLeavesOneHandler()
{
    MemoryHotKeyBackend backend;
    HotKeyManager manager(backend);
    int calls = 0;
    manager.onHotKeyTriggered = [&] { ++calls; };
    manager.registerDefaultHotKey();
    manager.registerDefaultHotKey();
    QCOMPARE(backend.grabs().size(), 2);
    QCOMPARE(backend.ungrabs(), 1);
    backend.press();
    QCOMPARE(calls, 1);
}

void TestHotKeyManager::unregisterStopsPressesAndIsIdempotent()
{
    MemoryHotKeyBackend backend;
    HotKeyManager manager(backend);
    int calls = 0;
    manager.onHotKeyTriggered = [&] { ++calls; };
    manager.registerDefaultHotKey();
    manager.unregisterHotKey();
    QVERIFY(!manager.isRegistered());
    backend.press();
    emit backend.pressed(); // even a stray event from the backend
    QCOMPARE(calls, 0);
    manager.unregisterHotKey();
    QCOMPARE(backend.ungrabs(), 1);
}

void TestHotKeyManager::takenCombinationLeavesTheProgramWithoutIt()
{
    MemoryHotKeyBackend backend;
    backend.setAvailable(false);
    HotKeyManager manager(backend);
    int calls = 0;
    manager.onHotKeyTriggered = [&] { ++calls; };
    QVERIFY(!manager.registerDefaultHotKey());
    QVERIFY(!manager.isRegistered());
    backend.press();
    QCOMPARE(calls, 0);

    // Freed later, a new registration takes it.
    backend.setAvailable(true);
    QVERIFY(manager.registerDefaultHotKey());
    backend.press();
    QCOMPARE(calls, 1);
}

void TestHotKeyManager::destructionReleasesTheKey()
{
    MemoryHotKeyBackend backend;
    {
        HotKeyManager manager(backend);
        manager.registerDefaultHotKey();
    }
    QVERIFY(!backend.isGrabbed());
    backend.press(); // no manager left to call
}

QTEST_MAIN(TestHotKeyManager)
#include "tst_hot_key_manager.moc"
