// The clipboard outlives the program that copied it, on a real X server.
#include "app_process.h"
#include "clipboard_keeper.h"
#include "clipboard_manager.h"
#include "test_support.h"
#include "x11/x11_connection.h"
#include "x11/x11_pasteboard.h"

#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <X11/Xlib.h>

namespace {

// What another program reads from the clipboard now (empty when nothing);
// our event loop keeps running meanwhile, since we may be the owner.
QByteArray xclipPaste()
{
    const auto pasted = AppProcess::run(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
    return pasted.exitCode < 0 ? "(xclip hung)" : pasted.out;
}

// Reads a process's output, without running our event loop, until it
// prints the word: while a test holds the loop, the X server queues every
// report for us, as it would for a program that is stopped.
void waitForWord(QProcess &process, const QByteArray &word)
{
    QByteArray out;
    while (!out.contains(word) && process.waitForReadyRead(5000))
        out += process.readAllStandardOutput();
    QVERIFY2(out.contains(word), out.constData());
}

// Waits, without our event loop, until the server has taken in that the
// clipboard's owner is gone.
void waitUntilUnowned(X11Connection &probe)
{
    const Atom clipboard = probe.atom("CLIPBOARD");
    for (int i = 0; i < 1000 && XGetSelectionOwner(probe.display(), clipboard) != None; ++i)
        QThread::msleep(2);
    QCOMPARE(XGetSelectionOwner(probe.display(), clipboard), Window(None));
}

// A store over the real clipboard, watching it, with a keeper.
struct X11Store
{
    X11Store() : manager(pasteboard, HistoryStorage(folder.path()), clock), keeper(manager)
    {
        manager.startObserving();
    }
    std::shared_ptr<X11Connection> connection = X11Connection::open();
    X11Pasteboard pasteboard{connection};
    QTemporaryDir folder;
    TestSupport::ManualClock clock;
    ClipboardManager manager;
    ClipboardKeeper keeper;
};

} // namespace

class TestX11ClipboardKeeper : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(X11Connection::open()); }
    // A, the newest copy, quits while our event loop is held (as if the
    // program were stopped or busy); what other programs do before it runs
    // again must survive.
    void newerCopyIsNeverReplaced_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QByteArray>("pasted");
        QTest::addColumn<QString>("newest");
        QTest::addColumn<int>("restored");
        const auto row = [](const char *name, const QStringList &steps, const QByteArray &pasted, const char *newest,
                            int restored) { QTest::newRow(name) << steps << pasted << QString(newest) << restored; };
        row("A quits", {"A quits"}, "  copied by A \n", "copied by A", 1);
        row("A quits, B copies", {"A quits", "B copies"}, "copied by B", "copied by B", 0);
        row("B takes a time, A quits, B copies with that older time", {"B stamps", "A quits", "B claims"}, "copied by B",
            "copied by B", 0);
        row("A quits, B copies and quits", {"A quits", "B copies", "B quits"}, "", "copied by A", 0);
        row("A quits, A's copy is given back, then B copies", {"A quits", "resume", "B copies"}, "copied by B",
            "copied by B", 1);
        // A password manager's copy replaces A's, then quits: nothing comes back.
        row("B copies concealed and quits", {"B conceals", "settle", "B quits"}, "", "copied by A", 0);
    }

    void newerCopyIsNeverReplaced()
    {
        QFETCH(QStringList, steps);
        QFETCH(QByteArray, pasted);
        QFETCH(QString, newest);
        QFETCH(int, restored);
        X11Store s;
        QTemporaryDir logs;
        const auto owner = [&](const char *text, const char *log) {
            return QStringList{"serve", text, logs.filePath(log)};
        };
        QProcess a;
        a.start(QStringLiteral(X11_CLIP_OWNER), owner("  copied by A \n", "a"));
        waitForWord(a, "ready");
        QTRY_COMPARE(s.manager.items().size(), 1);

        const auto probe = X11Connection::open();
        qint64 held = s.pasteboard.changeCount();
        QProcess b;
        for (const QString &step : steps) {
            const bool claimLater = step == "B stamps";
            const bool concealed = step == "B conceals";
            if (step.endsWith(" quits")) {
                QProcess &quitting = step.startsWith('A') ? a : b;
                quitting.kill();
                QVERIFY(quitting.waitForFinished(3000));
                waitUntilUnowned(*probe);
            } else if (step == "B copies" || claimLater || concealed) {
                b.start(QStringLiteral(X11_CLIP_OWNER),
                        (claimLater ? QStringList{"--claim-later"} : QStringList{}) + owner("copied by B", "b")
                            + (concealed ? QStringList{"x-kde-passwordManagerHint"} : QStringList{}));
                waitForWord(b, claimLater ? "stamped" : "ready");
                QThread::msleep(5); // A's loss, if it comes next, is strictly later
            } else if (step == "B claims") {
                b.write("claim\n");
                waitForWord(b, "ready");
            } else if (step == "resume") {
                QTRY_COMPARE(s.keeper.restoredCount(), 1);
            } else if (step == "settle") {
                QTRY_VERIFY(s.pasteboard.changeCount() != held && !s.pasteboard.isReading());
                held = s.pasteboard.changeCount();
            }
        }
        // Every report the server queued meanwhile is taken in.
        QTRY_VERIFY(s.pasteboard.changeCount() != held && !s.pasteboard.isReading());
        QTRY_COMPARE(s.manager.items().first()->rawContent(), newest);
        QCOMPARE(xclipPaste(), pasted);
        QCOMPARE(s.keeper.restoredCount(), restored);
        QCOMPARE(s.manager.items().size(), newest == "copied by A" ? 1 : 2);
        b.kill();
        b.waitForFinished(3000);
    }
};

QTEST_MAIN(TestX11ClipboardKeeper)
#include "tst_x11_clipboard_keeper.moc"
