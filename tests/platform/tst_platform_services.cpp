// Which backends the factory picks where there is no X display, and the
// virtual-time scheduler the shell's tests rely on.
#include "global_hot_key_backend.h"
#include "input_synthesizer.h"
#include "memory/manual_scheduler.h"
#include "platform_services.h"
#include "qt/qt_pasteboard.h"
#include "window_system.h"

#include <QGuiApplication>
#include <QTest>

using namespace std::chrono_literals;

class TestPlatformServices : public QObject
{
    Q_OBJECT
private slots:
    void withoutX11ThePortableBackendsRun();
    void manualSchedulerRunsTasksInDueOrder();
};

void TestPlatformServices::withoutX11ThePortableBackendsRun()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    PlatformServices services = createPlatformServices();
    QVERIFY(dynamic_cast<QtPasteboard *>(services.pasteboard.get()));
    // No global key and no synthesized input: the program runs on without.
    QVERIFY(!services.hotKeys->grab(QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V)));
    QVERIFY(!services.hotKeys->isGrabbed());
    QVERIFY(!services.inputSynthesizer->mayPostInputEvents());
    QCOMPARE(services.windowSystem->windowClass(services.windowSystem->activeWindow()), std::nullopt);
    QVERIFY(services.scheduler);
}

void TestPlatformServices::manualSchedulerRunsTasksInDueOrder()
{
    ManualScheduler scheduler;
    QStringList ran;
    scheduler.schedule(100ms, [&] { ran << "b@100"; });
    scheduler.schedule(50ms, [&] {
        ran << "a@50";
        // Scheduled while time advances: runs within the same span.
        scheduler.schedule(50ms, [&] { ran << "c@100"; });
    });
    scheduler.schedule(300ms, [&] { ran << "d@300"; });
    scheduler.advance(99ms);
    QCOMPARE(ran, QStringList{"a@50"});
    scheduler.advance(1ms);
    // Equal due times run in the order they were scheduled.
    QCOMPARE(ran, (QStringList{"a@50", "b@100", "c@100"}));
    QCOMPARE(scheduler.now(), 100ms);
    QCOMPARE(scheduler.pendingCount(), 1);
    scheduler.advance(1s);
    QCOMPARE(ran.last(), QStringLiteral("d@300"));
    QCOMPARE(scheduler.pendingCount(), 0);
}

QTEST_MAIN(TestPlatformServices)
#include "tst_platform_services.moc"
