// The clipboard outlives the program that copied it, on a real X server.
#include "clipboard_keeper.h"
#include "clipboard_manager.h"
#include "test_support.h"
#include "x11/x11_connection.h"
#include "x11/x11_pasteboard.h"

#include <QProcess>
#include <QTest>

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
    void newestCopySurvivesItsOwner()
    {
        X11Store s;
        QProcess xclip;
        startXclip(xclip, "survives its owner");
        QTRY_COMPARE(s.manager.items().size(), 1);
        xclip.terminate();
        QVERIFY(xclip.waitForFinished(3000));

        QTRY_COMPARE(s.keeper.restoredCount(), 1);
        QCOMPARE(xclipPaste(), QByteArray("survives its owner"));
        // Offering it again is no new copy.
        QTest::qWait(300);
        QCOMPARE(s.manager.items().size(), 1);
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
