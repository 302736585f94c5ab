// The hot-key manager over a fake global-key backend.
#include "hot_key_manager.h"
#include "memory/memory_hot_key_backend.h"

#include <QTest>

using GrabState = GlobalHotKeyBackend::GrabState;
Q_DECLARE_METATYPE(QList<GrabState>)

class TestHotKeyManager : public QObject
{
    Q_OBJECT
private slots:
    void registerTwiceThenUnregister()
    {
        MemoryHotKeyBackend backend;
        HotKeyManager manager(backend);
        int calls = 0;
        // Taken by another program at first: a later registration takes it.
        backend.setAvailable(false);
        QCOMPARE(manager.registerDefaultHotKey(), GrabState::Unavailable);
        backend.setAvailable(true);
        QCOMPARE(manager.registerDefaultHotKey(), GrabState::Grabbed);
        backend.press(); // no callback yet: nothing to call
        manager.onHotKeyTriggered = [&] { ++calls; }; // read at each press
        backend.press();
        QCOMPARE(calls, 1);

        // Registering again releases the first grab and leaves one handler.
        QCOMPARE(manager.registerDefaultHotKey(), GrabState::Grabbed);
        QCOMPARE(backend.grabs().size(), 3);
        QCOMPARE(backend.ungrabs(), 1);
        backend.press();
        QCOMPARE(calls, 2);

        manager.unregisterHotKey();
        QVERIFY(!manager.isRegistered());
        QVERIFY(!backend.isGrabbed());
        emit backend.pressed(); // even a stray event from the backend
        QCOMPARE(calls, 2);
        QCOMPARE(backend.ungrabs(), 2);

        // Destroyed while registered, it lets the key go.
        auto second = std::make_unique<HotKeyManager>(backend);
        QCOMPARE(second->registerDefaultHotKey(), GrabState::Grabbed);
        second.reset();
        QVERIFY(!backend.isGrabbed());
        QCOMPARE(backend.ungrabs(), 3);
    }

    // The desktop's answer, at once or later, and what the user is told.
    void followsTheDesktopsAnswer_data()
    {
        QTest::addColumn<bool>("answersLater");
        QTest::addColumn<bool>("available");
        QTest::addColumn<QList<GrabState>>("later");
        QTest::addColumn<GrabState>("atRegistration");
        QTest::addColumn<int>("advice");
        QTest::addColumn<int>("presses");

        const auto row = [](const char *name, bool answersLater, bool available, const QList<GrabState> &later,
                            GrabState atRegistration, int advice, int presses) {
            QTest::newRow(name) << answersLater << available << later << atRegistration << advice << presses;
        };
        row("taken by another program", false, false, {}, GrabState::Unavailable, 1, 0);
        row("granted later", true, true, {GrabState::Grabbed}, GrabState::Pending, 0, 1);
        row("refused later", true, true, {GrabState::Unavailable}, GrabState::Pending, 1, 0);
        row("granted, then lost", false, true, {GrabState::Unavailable}, GrabState::Grabbed, 1, 0);
        row("lost, then back", false, true, {GrabState::Unavailable, GrabState::Grabbed}, GrabState::Grabbed, 1, 1);
        row("never answered", true, true, {}, GrabState::Pending, 0, 0);
    }
    void followsTheDesktopsAnswer()
    {
        QFETCH(bool, answersLater);
        QFETCH(bool, available);
        QFETCH(QList<GrabState>, later);
        QFETCH(GrabState, atRegistration);
        QFETCH(int, advice);
        QFETCH(int, presses);

        MemoryHotKeyBackend backend;
        backend.setAnswersLater(answersLater);
        backend.setAvailable(available);
        HotKeyManager manager(backend);
        int calls = 0;
        QStringList lines;
        manager.onHotKeyTriggered = [&] { ++calls; };
        manager.onUnavailable = [&](const QString &line) { lines << line; };
        QCOMPARE(manager.registerDefaultHotKey(), atRegistration);
        for (GrabState state : later)
            backend.settle(state);

        QCOMPARE(lines.size(), advice);
        for (const QString &line : lines)
            QVERIFY2(line.contains(QLatin1String("tavorindle --toggle")), qPrintable(line));
        QCOMPARE(manager.isRegistered(), presses > 0);
        QCOMPARE(manager.unavailableAdvice().isEmpty(), manager.grabState() != GrabState::Unavailable);
        backend.press();
        QCOMPARE(calls, presses);
    }
};

QTEST_MAIN(TestHotKeyManager)
#include "tst_hot_key_manager.moc"
