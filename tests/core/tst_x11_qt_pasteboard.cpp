// The portable clipboard backend against a real X server and real clients.
#include "app_process.h"
#include "clipboard_manager.h"
#include "qt/qt_pasteboard.h"
#include "test_support.h"

#include <QGuiApplication>
#include <QTest>

using namespace TestSupport;

namespace {

// Copies text with xclip, which then serves it from the background.
void xclipCopy(const QByteArray &text, const QString &target = QStringLiteral("UTF8_STRING"))
{
    QCOMPARE(AppProcess::run("xclip", {"-selection", "clipboard", "-t", target, "-i"}, text).exitCode, 0);
}

} // namespace

class TestX11QtPasteboard : public QObject
{
    Q_OBJECT
private slots:
    void copiesBothWays()
    {
        QtPasteboard pasteboard;
        qint64 before = pasteboard.changeCount();
        xclipCopy("grüße from xclip");
        QTRY_VERIFY(pasteboard.changeCount() != before);
        QCOMPARE(pasteboard.string(), std::optional<QString>(QStringLiteral("grüße from xclip")));
        QVERIFY(pasteboard.types().has_value());

        // Our write, counted before setString returns, is what others read;
        // our event loop serves it meanwhile.
        before = pasteboard.changeCount();
        pasteboard.setString(QStringLiteral("written by us ✓"));
        QVERIFY(pasteboard.changeCount() != before);
        QCOMPARE(AppProcess::output("xclip", {"-selection", "clipboard", "-o"}), QStringLiteral("written by us ✓"));
    }

    void watcherRecordsXclipCopies()
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
};

QTEST_MAIN(TestX11QtPasteboard)
#include "tst_x11_qt_pasteboard.moc"
