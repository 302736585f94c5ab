// The lock that keeps one process per history: held by the kernel, so that
// whatever a crash, a power cut or a cleaner leaves behind never keeps the
// program from starting, and a live holder is never displaced.
#include "history_storage.h"
#include "test_support.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <unistd.h>

using namespace TestSupport;

class TestProcessLock : public QObject
{
    Q_OBJECT
private slots:
    void whatIsLeftBehindIsFree_data()
    {
        QTest::addColumn<QString>("left");
        QTest::newRow("nothing") << "";
        QTest::newRow("an empty file (a power cut)") << "empty";
        QTest::newRow("a dead process's id") << "stale";
        QTest::newRow("a dangling link") << "link";
        QTest::newRow("a folder") << "folder";
    }

    void whatIsLeftBehindIsFree()
    {
        QFETCH(QString, left);
        QTemporaryDir folder;
        const QString path = folder.path() + "/history.lock";
        if (left == "empty")
            writeFile(path, {});
        else if (left == "stale")
            writeFile(path, "999999999\n");
        else if (left == "link")
            QVERIFY(QFile::link(folder.path() + "/gone", path));
        else if (left == "folder")
            QVERIFY(QDir().mkdir(path));

        ProcessLock lock;
        QCOMPARE(lock.acquire(path), ProcessLock::Outcome::Acquired);
        QCOMPARE(readFile(path), QByteArray::number(qint64(::getpid())) + '\n');
        QCOMPARE(fileMode(path), 0600);
    }

    void aLiveHolderIsNeverDisplaced()
    {
        QTemporaryDir folder;
        const HistoryStorage storage(folder.path() + "/Tavorindle");
        auto holder = std::make_unique<ProcessLock>();
        QCOMPARE(storage.lock(*holder), ProcessLock::Outcome::Acquired);

        ProcessLock second;
        QCOMPARE(storage.lock(second), ProcessLock::Outcome::HeldElsewhere);
        QCOMPARE(second.holderPid(), qint64(::getpid()));
        QVERIFY(!second.isHeld());

        // What the holder started (a browser for a link) outlives it and
        // must not keep its lock.
        QProcess child;
        child.start("sleep", {"30"});
        QVERIFY(child.waitForStarted());
        holder.reset(); // the holder ends
        QCOMPARE(storage.lock(second), ProcessLock::Outcome::Acquired);
        child.kill();
        child.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestProcessLock)
#include "tst_process_lock.moc"
