// The clipboard outlives the program that copied it, on a real X server.
#include "clipboard_keeper.h"
#include "clipboard_manager.h"
#include "test_support.h"
#include "x11/x11_connection.h"
#include "x11/x11_pasteboard.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <X11/Xlib.h>

namespace {

// What another program reads from the clipboard now (empty when nothing);
// our event loop keeps running meanwhile, since we may be the owner.
QByteArray xclipPaste()
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
    if (!QTest::qWaitFor([&] { return xclip.state() == QProcess::NotRunning; }, 5000))
        return "(xclip hung)";
    return xclip.readAllStandardOutput();
}

// xclip serving a copy in the foreground, so that it can be made to quit.
void startXclip(QProcess &xclip, const QByteArray &text, const QStringList &extra = {})
{
    xclip.start(QStringLiteral("xclip"), QStringList{"-quiet", "-selection", "clipboard", "-i"} + extra);
    QVERIFY(xclip.waitForStarted());
    xclip.write(text);
    xclip.closeWriteChannel();
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
        const QByteArray a("  copied by A \n");
        QTest::newRow("A quits") << QStringList{"A quits"} << a << "copied by A" << 1;
        QTest::newRow("A quits, B copies")
            << QStringList{"A quits", "B copies"} << QByteArray("copied by B") << "copied by B" << 0;
        QTest::newRow("B takes a time, A quits, B copies with that older time")
            << QStringList{"B stamps", "A quits", "B claims"} << QByteArray("copied by B") << "copied by B" << 0;
        QTest::newRow("A quits, B copies and quits")
            << QStringList{"A quits", "B copies", "B quits"} << QByteArray() << "copied by A" << 0;
        QTest::newRow("A quits, A's copy is given back, then B copies")
            << QStringList{"A quits", "resume", "B copies"} << QByteArray("copied by B") << "copied by B" << 1;
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
        const qint64 held = s.pasteboard.changeCount();
        QProcess b;
        for (const QString &step : steps) {
            const bool claimLater = step == "B stamps";
            if (step.endsWith(" quits")) {
                QProcess &quitting = step.startsWith('A') ? a : b;
                quitting.kill();
                QVERIFY(quitting.waitForFinished(3000));
                waitUntilUnowned(*probe);
            } else if (step == "B copies" || claimLater) {
                b.start(QStringLiteral(X11_CLIP_OWNER),
                        (claimLater ? QStringList{"--claim-later"} : QStringList{}) + owner("copied by B", "b"));
                waitForWord(b, claimLater ? "stamped" : "ready");
                QThread::msleep(5); // A's loss, if it comes next, is strictly later
            } else if (step == "B claims") {
                b.write("claim\n");
                waitForWord(b, "ready");
            } else if (step == "resume") {
                QTRY_COMPARE(s.keeper.restoredCount(), 1);
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

    void concealedCopyIsNotBroughtBack()
    {
        X11Store s;
        QProcess plain;
        startXclip(plain, "ordinary words");
        QTRY_COMPARE(s.manager.items().size(), 1);
        // A password manager's copy replaces it, then quits.
        QProcess secret;
        const qint64 before = s.pasteboard.changeCount();
        startXclip(secret, "hunter2", {"-t", "x-kde-passwordManagerHint"});
        QTRY_VERIFY(s.pasteboard.changeCount() != before);
        plain.kill(); // no longer the owner: its end changes nothing
        plain.waitForFinished(3000);
        const qint64 concealed = s.pasteboard.changeCount();
        secret.terminate();
        QVERIFY(secret.waitForFinished(3000));
        QTRY_VERIFY(s.pasteboard.changeCount() != concealed);
        QCOMPARE(s.keeper.restoredCount(), 0);
        QVERIFY(xclipPaste().isEmpty());
        QCOMPARE(s.manager.items().size(), 1);
    }
};

QTEST_MAIN(TestX11ClipboardKeeper)
#include "tst_x11_clipboard_keeper.moc"
