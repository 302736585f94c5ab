// The installed program and its GNOME Shell bridge in a headless GNOME
// Shell (run through run_in_gnome_shell.sh): copies by Wayland and X11
// clients, concealed copies, an owner that quits, the key, the paste, and
// strangers on the bus.
#include "helper_process.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTest>

namespace {

using AppProcess::waitUntil;

QString prefix() { return qEnvironmentVariable("TAVORINDLE_PREFIX"); }

QString paste()
{
    return AppProcess::output("wl-paste", {"--no-newline"});
}

// Mutter's remote-desktop keyboard: keys that reach the shell's bindings
// and the focused window as a user's would.
class Keyboard
{
public:
    bool open()
    {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(QDBusMessage::createMethodCall(
            "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
            "org.gnome.Mutter.RemoteDesktop", "CreateSession"));
        m_session = reply.arguments().value(0).value<QDBusObjectPath>().path();
        return reply.type() == QDBusMessage::ReplyMessage && call("Start", {}).type() == QDBusMessage::ReplyMessage;
    }
    // Presses the keysyms in order and releases them in reverse.
    void tap(const QList<quint32> &keysyms)
    {
        for (quint32 key : keysyms)
            call("NotifyKeyboardKeysym", {key, true});
        for (auto it = keysyms.rbegin(); it != keysyms.rend(); ++it)
            call("NotifyKeyboardKeysym", {*it, false});
    }

private:
    QDBusMessage call(const char *method, const QVariantList &arguments)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            "org.gnome.Mutter.RemoteDesktop", m_session, "org.gnome.Mutter.RemoteDesktop.Session", method);
        message.setArguments(arguments);
        return QDBusConnection::sessionBus().call(message);
    }

    QString m_session;
};

enum Keysym : quint32 { Super = 0xffeb, Shift = 0xffe1, V = 0x76, Return = 0xff0d, Down = 0xff54, F2 = 0xffbf, F3 = 0xffc0 };

} // namespace

class TestGnomeE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(!prefix().isEmpty(), "TAVORINDLE_PREFIX names the installed tree");
        QVERIFY2(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"), "run me through run_in_gnome_shell.sh");
        QVERIFY(m_keyboard.open());

        // Everything the session bus carries, to count the calls between the two sides.
        m_monitor.start("dbus-monitor", {"--session"});
        QVERIFY(m_monitor.waitForStarted());

        m_app = std::make_unique<AppProcess::App>(prefix() + "/bin/tavorindle");
        m_app->environment().insert("QT_QPA_PLATFORM", "xcb");
        QVERIFY(m_app->start());
        QVERIFY(waitUntil([] {
            return QDBusConnection::sessionBus().interface()->isServiceRegistered("app.tavorindle.Tavorindle").value();
        }));
        // The bridge checks who we are before it says anything.
        copySentinel();
    }

    void cleanupTestCase()
    {
        m_app.reset();
        m_monitor.terminate();
        m_monitor.waitForFinished(2000);
    }

    void copies_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("recordedText");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("offered"); // a type the bridge reports for it

        const QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
        QTest::newRow("Wayland link") << "wl-copy" << QStringList{} << QByteArray("https://example.org/gnome")
                                      << "https://example.org/gnome" << "link" << "text/plain";
        QTest::newRow("Wayland multi-line UTF-8") << "wl-copy" << QStringList{}
                                                  << QString("Grüße\naus Wayland ✓").toUtf8()
                                                  << "Grüße\naus Wayland ✓" << "text" << "text/plain";
        QTest::newRow("Wayland image only") << "wl-copy" << QStringList{"-t", "image/png"} << png << "" << "" << "image/png";
        QTest::newRow("X11 text") << "xclip" << QStringList{"-selection", "clipboard"}
                                  << QByteArray("copied in an X11 window") << "copied in an X11 window" << "text" << "text/plain";
        QTest::newRow("X11 concealed")
            << TAVORINDLE_CLIP_OWNER << QStringList{"serve", "secret-from-x11", "/dev/null", "x-kde-passwordManagerHint"}
            << QByteArray() << "" << "" << "x-kde-passwordManagerHint";
    }

    void copies()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(QString, recordedText);
        QFETCH(QString, offered);

        const auto before = m_app->history().size();
        const int reads = busCalls("ReadText");
        const auto reports = busTraffic().count(offered.toUtf8());
        QProcess owner;
        owner.start(program, arguments);
        QVERIFY(owner.waitForStarted());
        owner.write(input);
        owner.closeWriteChannel();
        // Reported to the program before the sentinel, which would otherwise race it.
        QVERIFY(waitUntil([&] { return busTraffic().count(offered.toUtf8()) > reports; }));
        if (!recordedText.isEmpty()) {
            QVERIFY2(m_app->recorded(recordedText), qPrintable(recordedText));
            QTEST(m_app->history().first().kind, "kind");
        }
        copySentinel();
        QCOMPARE(m_app->history().size(), before + (recordedText.isEmpty() ? 1 : 2));
        // The text of an image or a concealed copy is never asked for; the
        // sentinel's is.
        QCOMPARE(busCalls("ReadText"), reads + (recordedText.isEmpty() ? 1 : 2));
        owner.kill();
        owner.waitForFinished(2000);
    }

    void ownerQuitsAndTheShellOffersItAgain()
    {
        const QString text = QStringLiteral("kept after its owner quit");
        HelperProcess owner("wl-copy", {"--foreground", text});
        QVERIFY(m_app->recorded(text));
        const auto before = m_app->history();
        owner.kill();

        // Mutter offers the text again; it is neither lost nor a new copy.
        QTest::qWait(1000);
        QCOMPARE(paste(), text);
        const auto after = m_app->history();
        QCOMPARE(after.size(), before.size());
        QCOMPARE(after.first().text, text);
        QCOMPARE(after.first().timestamp, before.first().timestamp);
    }

    void concealedWaylandCopyWhoseOwnerQuits()
    {
        HelperProcess window(TAVORINDLE_KEY_WINDOW, {"tavorindle-test-vault"});
        QVERIFY(window.waitForLine("focus"));
        const auto items = m_app->history().size();
        const int reads = busCalls("ReadText");
        // F2: copy marked as concealed (the program hears of it, marker and
        // all). F3: copy again and quit; Mutter then offers the bare text.
        const auto markers = [this] { return busTraffic().count("x-kde-passwordManagerHint"); };
        const auto before = markers();
        m_keyboard.tap({F2});
        QVERIFY(window.waitForLine("copied"));
        QVERIFY(waitUntil([&] { return markers() > before; }));
        m_keyboard.tap({F3});
        QVERIFY(window.waitForLine("quitting"));
        QTest::qWait(1500);
        copySentinel();
        QCOMPARE(m_app->history().size(), items + 1);
        QCOMPARE(busCalls("ReadText"), reads + 1); // the sentinel's text only
    }

    // Without the bridge (the state right after install) the program reads
    // the clipboard through XWayland, where Mutter's re-offer of a concealed
    // copy whose owner quit arrives without the marker: it stays concealed.
    void concealedCopyWhoseOwnerQuitsWithoutTheBridge()
    {
        AppProcess::App x11(prefix() + "/bin/tavorindle");
        x11.environment().insert("QT_QPA_PLATFORM", "xcb");
        x11.environment().insert("TAVORINDLE_PLATFORM", "x11");
        QVERIFY(x11.start());
        HelperProcess window(TAVORINDLE_KEY_WINDOW, {"tavorindle-test-vault"});
        QVERIFY(window.waitForLine("focus"));
        m_keyboard.tap({F2});
        QVERIFY(window.waitForLine("copied"));
        // The bridge beside it reports the shell's offer again; XWayland has it then.
        const auto reoffers = busTraffic().count("keeper");
        m_keyboard.tap({F3});
        QVERIFY(window.waitForLine("quitting"));
        QVERIFY(waitUntil([&] { return busTraffic().count("keeper") > reoffers; }));
        // The secret's text is never read: only the markers are seen, and the
        // sentinel after them is the next item.
        const auto before = x11.history().size();
        copySentinel();
        QVERIFY(x11.recorded(QStringLiteral("sentinel %1").arg(m_sentinels)));
        QCOMPARE(x11.history().size(), before + 1);
        QVERIFY(!AppProcess::texts(x11.history()).contains("secret-from-wayland"));
    }

    void keyOpensThePanelAndReturnPastes_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QByteArray>("stroke");
        QTest::newRow("editor") << "tavorindle-test-editor" << QByteArray("key Ctrl+V");
        QTest::newRow("terminal") << "foot" << QByteArray("key Ctrl+Shift+V");
    }

    void keyOpensThePanelAndReturnPastes()
    {
        QFETCH(QString, appId);
        QFETCH(QByteArray, stroke);
        const QString older = QStringLiteral("pasted back into %1").arg(appId);
        AppProcess::run("wl-copy", {older});
        QVERIFY(m_app->recorded(older));
        copySentinel();

        HelperProcess window(TAVORINDLE_KEY_WINDOW, {appId});
        QVERIFY(window.waitForLine("focus"));
        const auto before = m_app->history().size();
        m_keyboard.tap({Super, Shift, V});
        // Keys go where the focus is: wait until the panel has it.
        QVERIFY2(waitUntil([&] { return panelWindow() != 0 && AppProcess::activeWindow() == panelWindow(); }),
                 "Super+Shift+V did not open the panel, or it did not get the focus");

        // The second row is the older copy; Return pastes it where the focus was.
        m_keyboard.tap({Down});
        QTest::qWait(200);
        m_keyboard.tap({Return});
        QVERIFY(window.waitForLine(stroke));
        QVERIFY(window.waitForLine("text " + older.toUtf8().toBase64()));
        QCOMPARE(panelWindow(), quint64(0));

        // Our own write: on the clipboard for everyone, at the top, not a new item.
        QCOMPARE(paste(), older);
        const auto after = m_app->history();
        QCOMPARE(after.size(), before);
        QCOMPARE(after.first().text, older);
    }

    void newerCopyDuringALargeRead()
    {
        QTemporaryDir dir;
        const qsizetype size = 20 * 1000 * 1000;
        QFile file(dir.filePath("large.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'a'));
        file.close();
        const int reads = busCalls("ReadText");
        QProcess large;
        large.setStandardInputFile(file.fileName());
        large.start("wl-copy", {});
        // wl-copy takes the clipboard only once it has read all its input:
        // the newer copy must come after that, while the program reads.
        QVERIFY(waitUntil([&] { return busCalls("ReadText") > reads; }));
        const QString small = QStringLiteral("copied while a large copy was read");
        AppProcess::run("wl-copy", {small});
        QVERIFY(m_app->recorded(small));
        QTest::qWait(500);
        // The newer copy stays on top; the large one is whole or not there.
        const auto items = m_app->history();
        QCOMPARE(items.first().text, small);
        for (const auto &item : items)
            QVERIFY(!item.text.startsWith('a') || item.text.size() == size);
        // The shell lived through the pipe we dropped, and the bridge still reports.
        copySentinel();
        large.waitForFinished(2000);
    }

    void strangersAreRefused()
    {
        const QString injected = QStringLiteral("injected by a stranger");
        const QByteArray toBridge = AppProcess::run(
            "gdbus", {"call", "--session", "--dest", "app.tavorindle.Bridge", "--object-path", "/app/tavorindle/Bridge",
                      "--method", "app.tavorindle.Bridge1.SetClipboard", "1", "[0x41]", "false"}).err;
        QVERIFY2(toBridge.contains("app.tavorindle.Error.AccessDenied"), toBridge.constData());
        const QByteArray toProgram = AppProcess::run(
            "gdbus", {"call", "--session", "--dest", "app.tavorindle.Tavorindle", "--object-path",
                      "/app/tavorindle/Client", "--method", "app.tavorindle.Client1.ClipboardChanged",
                      QStringLiteral("{'serial': <uint64 99999>, 'types': <['text/plain']>, 'concealed': <false>, "
                                     "'origin': <'wayland'>, 'text': <b'%1'>}").arg(injected)}).err;
        QVERIFY2(toProgram.contains("app.tavorindle.Error.AccessDenied"), toProgram.constData());
        copySentinel();
        QVERIFY(!AppProcess::texts(m_app->history()).contains(injected));
        QVERIFY(paste() != "A");
    }

    // GJS warns once per call of an API it moved (GioUnix on GNOME 48):
    // one that lands in every read of a copy.
    void readsUseNoMovedApi()
    {
        copySentinel();
        QFile log(qEnvironmentVariable("TAVORINDLE_GNOME_SHELL_LOG"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY2(!text.contains("has been moved"), text.right(2000).constData());
    }

    void bridgeIgnoresAnotherProgramUnderOurName()
    {
        m_app->stop();
        auto bus = QDBusConnection::sessionBus();
        QVERIFY(waitUntil([&] { return !bus.interface()->isServiceRegistered("app.tavorindle.Tavorindle").value(); }));

        // This test process takes the program's name: it is not the installed program.
        QVERIFY(bus.registerService("app.tavorindle.Tavorindle"));
        const int reports = busCalls("ClipboardChanged");
        AppProcess::run("wl-copy", {"meant for the program only"});
        const QString log = qEnvironmentVariable("TAVORINDLE_GNOME_SHELL_LOG");
        QVERIFY2(waitUntil([&] {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("is not " + prefix().toUtf8());
        }),
                 "the bridge did not turn the impostor away");
        QTest::qWait(500);
        QCOMPARE(busCalls("ClipboardChanged"), reports);
        bus.unregisterService("app.tavorindle.Tavorindle");
    }

private:
    // A copy after the one under test: once it is in, the earlier one had
    // its chance.
    void copySentinel()
    {
        const QString text = QStringLiteral("sentinel %1").arg(++m_sentinels);
        AppProcess::run("wl-copy", {text});
        QVERIFY2(m_app->recorded(text), qPrintable(text));
    }
    // Everything the session bus carried since the start.
    const QByteArray &busTraffic()
    {
        m_traffic += m_monitor.readAllStandardOutput();
        return m_traffic;
    }
    // How many calls of the method the session bus has carried until now
    // (-1 if the monitor fell behind): a question of our own to the bus
    // marks the end of what the monitor must have printed.
    int busCalls(const char *method)
    {
        const QString mark = QStringLiteral("app.tavorindle.Mark%1").arg(++m_marks);
        QDBusConnection::sessionBus().interface()->isServiceRegistered(mark);
        if (!waitUntil([&] { return busTraffic().contains(mark.toUtf8()); }))
            return -1;
        return int(busTraffic().count(QByteArray("member=") + method));
    }
    // The panel's XWayland window (the program runs on xcb) when shown, or 0.
    static quint64 panelWindow()
    {
        const auto windows = AppProcess::ourWindows();
        return windows.isEmpty() ? 0 : windows.first().id;
    }

    std::unique_ptr<AppProcess::App> m_app;
    QProcess m_monitor;
    QByteArray m_traffic;
    Keyboard m_keyboard;
    int m_sentinels = 0;
    int m_marks = 0;
};

QTEST_GUILESS_MAIN(TestGnomeE2e)
#include "tst_gnome_e2e.moc"
