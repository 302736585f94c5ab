// The history is written on a thread of its own: the store never waits
// for the disk, a burst of changes ends in the last state, waits are
// bounded but quitting waits.
#include "clipboard_manager.h"
#include "memory/memory_pasteboard.h"
#include "test_support.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

using namespace TestSupport;

namespace {

// A disk that holds every write until the test lets it go; the fixture's
// store is put over it.
struct HeldDisk
{
    QSemaphore entered;
    QSemaphore gate;
    std::atomic<int> writes = 0;
    std::atomic<bool> onStoreThread = false;

    explicit HeldDisk(StoreFixture &fixture)
    {
        HistoryStorage storage(fixture.folderPath());
        storage.setBeforeWrite([this, storeThread = QThread::currentThread()] {
            if (QThread::currentThread() == storeThread) {
                onStoreThread = true; // and no waiting: the test fails, it does not hang
                return;
            }
            ++writes;
            entered.release();
            gate.tryAcquire(1, 10000);
        });
        fixture.manager = std::make_unique<ClipboardManager>(*fixture.pasteboard, storage, fixture.clock);
    }
};

} // namespace

class TestHistoryWriter : public QObject
{
    Q_OBJECT
private slots:
    void slowDiskNeverHoldsTheStore()
    {
        StoreFixture fixture;
        HeldDisk disk(fixture);
        auto &m = *fixture.manager;
        for (int i = 0; i < 50; ++i)
            fixture.copy(QStringLiteral("copy %1").arg(i));
        m.togglePin(m.items()[3]);
        m.deleteItem(m.items()[0]);
        fixture.copy(QStringLiteral("copy 10")); // a re-copy
        QCOMPARE(m.items().size(), 49);
        QVERIFY(!QFile::exists(fixture.historyPath()));
        QVERIFY(!m.waitForSaved(std::chrono::milliseconds(100))); // a bounded wait

        disk.gate.release(100);
        QVERIFY(m.waitForSaved());
        QVERIFY(!disk.onStoreThread);
        QVERIFY2(disk.writes >= 1 && disk.writes <= 2, qPrintable(QString::number(disk.writes)));
        QCOMPARE(fixture.saved(), HistoryFile::encode(m.items()));
    }

    void quitWaitsForTheLastWrite()
    {
        StoreFixture fixture;
        HeldDisk disk(fixture);
        fixture.copy(QStringLiteral("first"));
        QVERIFY(disk.entered.tryAcquire(1, 10000)); // its write has begun
        fixture.copy(QStringLiteral("last"));
        const QByteArray last = HistoryFile::encode(fixture.manager->items());
        std::thread disks([&] {
            QThread::msleep(50);
            disk.gate.release(100);
        });
        fixture.manager.reset(); // as at quit
        disks.join();
        QCOMPARE(readFile(fixture.historyPath()), last);
    }

    void aHungDiskHoldsTheQuitOnce()
    {
        StoreFixture fixture;
        HeldDisk disk(fixture);
        fixture.copy(QStringLiteral("first"));
        QVERIFY(disk.entered.tryAcquire(1, 10000));
        QVERIFY(!fixture.manager->waitForSaved(std::chrono::milliseconds(100))); // the quit's wait runs out
        QElapsedTimer clock;
        clock.start();
        fixture.manager.reset();
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        disk.gate.release(100);
        QTRY_VERIFY(QFile::exists(fixture.historyPath())); // the write itself goes on
    }

    // A disk that was full comes back: the change that failed reaches the
    // file without another change, and the quit tries once more at once.
    void aFailedWriteIsTriedAgain_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("firstRetryMs");
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("later, by itself") << 3 << 10 << false;
        QTest::newRow("at quit, long before its time") << 1 << 3600 * 1000 << true;
    }

    void aFailedWriteIsTriedAgain()
    {
        QFETCH(int, failures);
        QFETCH(int, firstRetryMs);
        QFETCH(bool, byQuit);
        std::atomic<int> attempts = 0;
        QByteArray written;
        QMutex mutex;
        QStringList said;
        HistoryWriter writer(
            [&](const HistoryFile::Snapshot &items) {
                if (attempts++ < failures)
                    return QStringLiteral("No space left on device");
                QMutexLocker lock(&mutex);
                HistoryFile::encode(items, [&](const QByteArray &piece) { written += piece; return true; });
                return QString();
            },
            [&](bool failed, const QString &reason) {
                QMutexLocker lock(&mutex);
                said << (failed ? reason : QStringLiteral("saved"));
            },
            {std::chrono::milliseconds(firstRetryMs), std::chrono::milliseconds(firstRetryMs * 2)});
        const QList<ClipItemPtr> items{makeItem("kept after all")};
        writer.submit(HistoryFile::snapshot(items));
        QTRY_VERIFY_WITH_TIMEOUT(attempts.load() >= 1, 10000);
        if (byQuit)
            QVERIFY(writer.waitUntilWritten(std::chrono::seconds(10)));
        const auto saidSoFar = [&] {
            QMutexLocker lock(&mutex);
            return said;
        };
        // One line for the failure, however often it recurred, one for the end of it.
        QTRY_COMPARE_WITH_TIMEOUT(saidSoFar(), (QStringList{"No space left on device", "saved"}), 10000);
        QCOMPARE(attempts.load(), failures + 1);
        QMutexLocker lock(&mutex);
        QCOMPARE(written, HistoryFile::encode(items));
    }
};

QTEST_GUILESS_MAIN(TestHistoryWriter)
#include "tst_history_writer.moc"
