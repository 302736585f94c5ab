// The portable clipboard backend against a real X server and real clients.
#include "clipboard_manager.h"
#include "qt/qt_pasteboard.h"
#include "test_support.h"

#include <QGuiApplication>
#include <QProcess>
#include <QTest>

using namespace TestSupport;

namespace {

// Copies text with xclip, which then serves it from the background.
void xclipCopy(const QByteArray &text, const QString &target = QStringLiteral("UTF8_STRING"))
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", target, "-i"});
    QVERIFY(xclip.waitForStarted());
    xclip.write(text);
    xclip.closeWriteChannel();
    QVERIFY(xclip.waitForFinished(5000));
}

// Reads the clipboard with xclip while our event loop keeps serving it.
QByteArray xclipPaste()
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-o"});
    QElapsedTimer timer;
    timer.start();
    while (xclip.state() != QProcess::NotRunning && timer.elapsed() < 5000)
        QTest::qWait(10);
    return xclip.readAllStandardOutput();
}

} // namespace

class TestX11QtPasteboard : public QObject
{
    Q_OBJECT
private slots:
    void xclipCopyIsSeenAndRead();
    void ourWriteIsWhatOthersRead();
    void watcherRecordsXclipCopies();
};

void TestX11QtPasteboard::xclipCopyIsSeenAndRead()
{
    QtPasteboard pasteboard;
    const qint64 before = pasteboard.changeCount();
    xclipCopy("grüße from xclip");
    QTRY_VERIFY(pasteboard.changeCount() != before);
    QCOMPARE(pasteboard.string(), std::optional<QString>(QStringLiteral("grüße from xclip")));
    QVERIFY(pasteboard.types().has_value());
}

void TestX11QtPasteboard::ourWriteIsWhatOthersRead()
{
    QtPasteboard pasteboard;
    const qint64 before = pasteboard.changeCount();
    pasteboard.setString(QStringLiteral("written by us ✓"));
    QVERIFY(pasteboard.changeCount() != before); // before setString returned
    QCOMPARE(QString::fromUtf8(xclipPaste()), QStringLiteral("written by us ✓"));
}

void TestX11QtPasteboard::watcherRecordsXclipCopies()
{
    QtPasteboard pasteboard;
    QTemporaryDir folder;
    ManualClock clock;
    ClipboardManager manager(pasteboard, HistoryStorage(folder.path()), clock);
    manager.startObserving();

    xclipCopy("https://example.org/path");
    QTRY_COMPARE(manager.items().size(), 1);
    QCOMPARE(manager.items().first()->contentType(), ClipContentType::Link);

    // A copy that carries a password manager's marker is never recorded.
    xclipCopy("hunter2", QStringLiteral("x-kde-passwordManagerHint"));
    QTest::qWait(600);
    QCOMPARE(manager.items().size(), 1);

    xclipCopy("def f(x):\n    return x");
    QTRY_COMPARE(manager.items().size(), 2);
    QCOMPARE(manager.items().first()->detectedLanguage(), std::optional<QString>("Python"));
}

QTEST_MAIN(TestX11QtPasteboard)
#include "tst_x11_qt_pasteboard.moc"
