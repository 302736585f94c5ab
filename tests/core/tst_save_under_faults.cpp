// A save killed at any moment leaves the old or the new list, never a mix.
#include "history_storage.h"
#include "test_support.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// The calls that decide what a power cut leaves, in the order made while
// recording: the test executable's own fsync and rename stand before libc's.
QStringList *recordedCalls = nullptr;

template<typename F>
F next(const char *name)
{
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" int fsync(int fd)
{
    if (recordedCalls) {
        struct stat st{};
        ::fstat(fd, &st);
        recordedCalls->append(S_ISDIR(st.st_mode) ? "fsync folder" : "fsync file");
    }
    static const auto real = next<int (*)(int)>("fsync");
    return real(fd);
}

extern "C" int rename(const char *from, const char *to) noexcept
{
    if (recordedCalls)
        recordedCalls->append("rename");
    static const auto real = next<int (*)(const char *, const char *)>("rename");
    return real(from, to);
}

class TestSaveUnderFaults : public QObject
{
    Q_OBJECT
private slots:
    // A killed process leaves the page cache behind; a power cut does not:
    // the data must be on the disk before the name points at it.
    void aSaveReachesTheDiskBeforeItReplacesTheFile()
    {
        QTemporaryDir folder;
        const HistoryStorage storage(folder.path() + "/Tavorindle");
        QVERIFY(storage.save({makeItem("old")}).isEmpty());
        QStringList calls;
        recordedCalls = &calls;
        const QString error = storage.save({makeItem("new")});
        recordedCalls = nullptr;
        QCOMPARE(error, QString());
        QCOMPARE(calls, (QStringList{"fsync file", "rename", "fsync folder"}));
    }

    void killedWhileSavingLeavesAWholeFile()
    {
        QTemporaryDir folder;
        const HistoryStorage storage(folder.path() + "/Tavorindle");

        // Two lists big enough that a write takes a while (about 2 MB each).
        QList<ClipItemPtr> listA, listB;
        for (int i = 0; i < 20; ++i) {
            listA << makeItem(QString(50000, QChar(u'a' + i % 26)));
            listB << makeItem(QString(60000, QChar(u'A' + i % 26)));
        }
        const QByteArray bytesA = HistoryFile::encode(listA);
        const QByteArray bytesB = HistoryFile::encode(listB);
        QVERIFY(storage.save(listA).isEmpty());

        auto *random = QRandomGenerator::global();
        int sawA = 0, sawB = 0;
        for (int round = 0; round < 25; ++round) {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                for (int i = 0;; ++i)
                    storage.save(i % 2 ? listA : listB);
            }
            ::usleep(static_cast<useconds_t>(random->bounded(2000, 40000)));
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);

            const QByteArray bytes = readFile(storage.filePath());
            QVERIFY2(bytes == bytesA || bytes == bytesB,
                     qPrintable(QStringLiteral("round %1: a file of %2 bytes that is neither list").arg(round).arg(bytes.size())));
            (bytes == bytesA ? sawA : sawB)++;
        }
        qInfo("old list %d times, new list %d times", sawA, sawB);

        // The next start sweeps away the temporary files of the killed saves.
        // A file of the user's that merely looks alike stays.
        writeFile(storage.folderPath() + "/history.json.backup", "mine");
        QVERIFY(storage.load().ok());
        const QStringList left = QDir(storage.folderPath()).entryList(QDir::Files | QDir::Hidden);
        QCOMPARE(left, (QStringList{"history.json", "history.json.backup"}));
    }
};

QTEST_GUILESS_MAIN(TestSaveUnderFaults)
#include "tst_save_under_faults.moc"
