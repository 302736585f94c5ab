// The clipboard outlives the program that copied it, on a real X server.
#include "clipboard_keeper.h"
#include "clipboard_manager.h"
#include "test_support.h"
#include "x11/x11_connection.h"
#include "x11/x11_pasteboard.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTest>

using namespace TestSupport;

namespace {

// What another program reads from the clipboard now (empty when nothing);
// our event loop keeps running meanwhile, since we may be the owner.
QByteArray xclipPaste()
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (xclip.state() != QProcess::NotRunning && timer.elapsed() < 5000) {
        QTest::qWait(5);
        out += xclip.readAllStandardOutput();
    }
    return out + xclip.readAllStandardOutput();
}

// xclip serving a copy in the foreground, so that it can be made to quit.
void startXclip(QProcess &xclip, const QByteArray &text, const QStringList &extra = {})
{
    xclip.start(QStringLiteral("xclip"), QStringList{"-quiet", "-selection", "clipboard", "-i"} + extra);
    QVERIFY(xclip.waitForStarted());
    xclip.write(text);
    xclip.closeWriteChannel();
}

} // namespace

class TestX11ClipboardKeeper : public QObject
{
    Q_OBJECT
private slots:
    void newestCopySurvivesItsOwner();
    void concealedCopyIsNotBroughtBack();
};

void TestX11ClipboardKeeper::newestCopySurvivesItsOwner()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11Pasteboard pasteboard(connection);
    QTemporaryDir folder;
    ManualClock clock;
    ClipboardManager manager(pasteboard, HistoryStorage(folder.path()), clock);
    ClipboardKeeper keeper(manager);
    manager.startObserving();

    QProcess xclip;
    startXclip(xclip, "survives its owner");
    QTRY_COMPARE(manager.items().size(), 1);
    xclip.terminate();
    QVERIFY(xclip.waitForFinished(3000));

    QTRY_COMPARE(keeper.restoredCount(), 1);
    QCOMPARE(xclipPaste(), QByteArray("survives its owner"));
    // Offering it again is no new copy.
    QTest::qWait(300);
    QCOMPARE(manager.items().size(), 1);
}

void TestX11ClipboardKeeper::concealedCopyIsNotBroughtBack()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11Pasteboard pasteboard(connection);
    QTemporaryDir folder;
    ManualClock clock;
    ClipboardManager manager(pasteboard, HistoryStorage(folder.path()), clock);
    ClipboardKeeper keeper(manager);
    manager.startObserving();

    QProcess plain;
    startXclip(plain, "ordinary words");
    QTRY_COMPARE(manager.items().size(), 1);
    // A password manager's copy replaces it, then quits.
    QProcess secret;
    const qint64 before = pasteboard.changeCount();
    startXclip(secret, "hunter2", {"-t", "x-kde-passwordManagerHint"});
    QTRY_VERIFY(pasteboard.changeCount() != before);
    plain.kill(); // no longer the owner: its end changes nothing
    plain.waitForFinished(3000);
    const qint64 concealed = pasteboard.changeCount();
    secret.terminate();
    QVERIFY(secret.waitForFinished(3000));
    QTRY_VERIFY(pasteboard.changeCount() != concealed);
    QCOMPARE(keeper.restoredCount(), 0);
    QVERIFY(xclipPaste().isEmpty());
    QCOMPARE(manager.items().size(), 1);
}

QTEST_MAIN(TestX11ClipboardKeeper)
#include "tst_x11_clipboard_keeper.moc"
