// The installed program and its GNOME Shell bridge in a headless GNOME
// Shell (run through run_in_gnome_shell.sh): copies by Wayland and X11
// clients, concealed copies, an owner that quits, the key, the paste, and
// strangers on the bus.
#include "app_process.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

using AppProcess::waitUntil;

QString run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(3000))
        return QStringLiteral("<did not start>");
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(5000))
        process.kill();
    return QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError()).trimmed();
}

QString prefix() { return qEnvironmentVariable("TAVORINDLE_PREFIX"); }

// Mutter's remote-desktop keyboard: keys that reach the shell's bindings
// and the focused window as a user's would.
class Keyboard
{
public:
    bool open()
    {
        auto bus = QDBusConnection::sessionBus();
        const QDBusMessage reply = bus.call(QDBusMessage::createMethodCall(
            "org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop",
            "org.gnome.Mutter.RemoteDesktop", "CreateSession"));
        if (reply.type() != QDBusMessage::ReplyMessage)
            return false;
        m_session = reply.arguments().value(0).value<QDBusObjectPath>().path();
        return call("Start", {}).type() == QDBusMessage::ReplyMessage;
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

enum Keysym : quint32 {
    Super = 0xffeb, Shift = 0xffe1, V = 0x76, Return = 0xff0d, Down = 0xff54, F2 = 0xffbf, F3 = 0xffc0,
};

struct Item
{
    QString text;
    QString kind;
    double timestamp = 0;
};

// The Qt window that stands in for the user's program, on Wayland.
class KeyWindow
{
public:
    bool start(const QString &appId)
    {
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "wayland");
        m_process.setProcessEnvironment(env);
        m_process.start(TAVORINDLE_KEY_WINDOW, {appId});
        return waitFor("ready");
    }
    bool waitFor(const QString &line, int timeoutMs = 8000)
    {
        return waitUntil([&] {
            m_output += QString::fromUtf8(m_process.readAllStandardOutput());
            return m_output.split(u'\n').contains(line);
        }, timeoutMs);
    }
    QString output() const { return QString(m_output).replace(u'\n', u'|'); }
    ~KeyWindow()
    {
        m_process.kill();
        m_process.waitForFinished(2000);
    }

private:
    QProcess m_process;
    QString m_output;
};

} // namespace

class TestGnomeE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void copies_data();
    void copies();
    void ownerQuitsAndTheShellOffersItAgain();
    void concealedWaylandCopyWhoseOwnerQuits();
    void keyOpensThePanelAndReturnPastes_data();
    void keyOpensThePanelAndReturnPastes();
    void newerCopyDuringALargeRead();
    void strangersAreRefused();
    void bridgeIgnoresAnotherProgramUnderOurName();

private:
    QList<Item> history() const;
    bool recorded(const QString &text, int timeoutMs = 8000) const
    {
        return waitUntil([&] {
            const auto items = history();
            return std::any_of(items.begin(), items.end(), [&](const Item &i) { return i.text == text; });
        }, timeoutMs);
    }
    // A copy after the one under test: once it is in, the earlier one had
    // its chance.
    void copySentinel()
    {
        const QString text = QStringLiteral("sentinel %1").arg(++m_sentinels);
        run("wl-copy", {text});
        QVERIFY2(recorded(text), qPrintable(text));
    }
    // Everything the session bus carried since the start.
    const QByteArray &busTraffic()
    {
        m_traffic += m_monitor.readAllStandardOutput();
        return m_traffic;
    }
    // Whether the text went over the session bus, in either of the forms
    // dbus-monitor prints bytes.
    bool crossedBus(const QString &text)
    {
        return busTraffic().contains(text.toUtf8()) || busTraffic().contains(text.toUtf8().toHex(' '));
    }
    // The panel's XWayland window when it is shown (the program runs on xcb), or 0.
    quint64 panelWindow() const
    {
        const QString ids = run("bash", {"-c", R"(xwininfo -root -tree | grep '"tavorindle" "Tavorindle"' |
            awk '{print $1}' | while read id; do xwininfo -id "$id" | grep -q IsViewable && echo "$id"; done)"});
        return ids.section(u'\n', 0, 0).toULongLong(nullptr, 16);
    }
    bool panelShown() const { return panelWindow() != 0; }
    // Keys go where the focus is: wait until the panel has it.
    bool panelFocused() const
    {
        return waitUntil([&] {
            const quint64 panel = panelWindow();
            return panel != 0 && run("xdotool", {"getactivewindow"}).toULongLong() == panel;
        });
    }

    QTemporaryDir m_home;
    QProcess m_program;
    QProcess m_monitor;
    QByteArray m_traffic;
    Keyboard m_keyboard;
    int m_sentinels = 0;
};

void TestGnomeE2e::initTestCase()
{
    QVERIFY2(!prefix().isEmpty(), "TAVORINDLE_PREFIX names the installed tree");
    QVERIFY2(!qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"), "run me through run_in_gnome_shell.sh");
    QVERIFY(m_keyboard.open());

    // Everything the session bus carries, to show what never crossed it.
    m_monitor.start("dbus-monitor", {"--session"});
    QVERIFY(m_monitor.waitForStarted());

    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", m_home.path());
    env.insert("XDG_DATA_HOME", m_home.filePath("data"));
    env.insert("XDG_CONFIG_HOME", m_home.filePath("config"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    m_program.setProcessEnvironment(env);
    m_program.setProcessChannelMode(QProcess::ForwardedChannels);
    m_program.start(prefix() + "/bin/tavorindle", {});
    QVERIFY(m_program.waitForStarted());
    QVERIFY(waitUntil([] {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered("app.tavorindle.Tavorindle").value();
    }));
    // The bridge checks who we are before it says anything.
    copySentinel();
}

void TestGnomeE2e::cleanupTestCase()
{
    m_program.terminate();
    if (!m_program.waitForFinished(5000))
        m_program.kill();
    m_monitor.terminate();
    m_monitor.waitForFinished(2000);
}

QList<Item> TestGnomeE2e::history() const
{
    QFile file(m_home.filePath("data/Tavorindle/history.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<Item> items;
    for (const QJsonValue &value : QJsonDocument::fromJson(file.readAll()).array()) {
        const QJsonObject object = value.toObject();
        items.append({object["rawContent"].toString(), object["contentTypeRaw"].toString(),
                      object["timestamp"].toDouble()});
    }
    return items;
}

void TestGnomeE2e::copies_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("recordedText");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("secret");

    const QByteArray png = QByteArray::fromBase64(
        "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
    QTest::newRow("Wayland link") << "wl-copy" << QStringList{} << QByteArray("https://example.org/gnome")
                                  << "https://example.org/gnome" << "link" << "";
    QTest::newRow("Wayland multi-line UTF-8") << "wl-copy" << QStringList{}
                                              << QString("Grüße\naus Wayland ✓").toUtf8()
                                              << "Grüße\naus Wayland ✓" << "text" << "";
    QTest::newRow("Wayland image only") << "wl-copy" << QStringList{"-t", "image/png"} << png << "" << ""
                                        << "";
    QTest::newRow("X11 text") << "xclip" << QStringList{"-selection", "clipboard"}
                              << QByteArray("copied in an X11 window") << "copied in an X11 window" << ""
                              << "";
    QTest::newRow("X11 concealed")
        << TAVORINDLE_CLIP_OWNER
        << QStringList{"serve", "secret-from-x11", "/dev/null", "x-kde-passwordManagerHint"} << QByteArray()
        << "" << "" << "secret-from-x11";
}

void TestGnomeE2e::copies()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, recordedText);
    QFETCH(QString, kind);
    QFETCH(QString, secret);

    const auto before = history().size();
    QProcess owner;
    owner.start(program, arguments);
    QVERIFY(owner.waitForStarted());
    owner.write(input);
    owner.closeWriteChannel();
    if (program == TAVORINDLE_CLIP_OWNER)
        QVERIFY(owner.waitForReadyRead(5000));

    if (!recordedText.isEmpty()) {
        QVERIFY2(recorded(recordedText), qPrintable(recordedText));
        if (!kind.isEmpty())
            QCOMPARE(history().first().kind, kind);
    }
    copySentinel();
    QCOMPARE(history().size(), before + (recordedText.isEmpty() ? 1 : 2));
    if (!secret.isEmpty())
        QVERIFY2(!crossedBus(secret), "the concealed text crossed the bus");
    owner.kill();
    owner.waitForFinished(2000);
}

void TestGnomeE2e::ownerQuitsAndTheShellOffersItAgain()
{
    const QString text = QStringLiteral("kept after its owner quit");
    QProcess owner;
    owner.start("wl-copy", {"--foreground", text});
    QVERIFY(recorded(text));
    const auto before = history();
    owner.kill();
    owner.waitForFinished(2000);

    // Mutter offers the text again; it is neither lost nor a new copy.
    QTest::qWait(1000);
    QCOMPARE(run("wl-paste", {"--no-newline"}), text);
    const auto after = history();
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.first().text, text);
    QCOMPARE(after.first().timestamp, before.first().timestamp);
}

void TestGnomeE2e::concealedWaylandCopyWhoseOwnerQuits()
{
    KeyWindow window;
    QVERIFY(window.start("tavorindle-test-vault"));
    const auto items = history().size();
    // F2: copy marked as concealed (the program hears of it, marker and
    // all). F3: copy again and quit; Mutter then offers the bare text.
    const auto markers = [this] { return busTraffic().count("x-kde-passwordManagerHint"); };
    const auto before = markers();
    m_keyboard.tap({F2});
    QVERIFY(window.waitFor("copied"));
    QVERIFY(waitUntil([&] { return markers() > before; }));
    m_keyboard.tap({F3});
    QVERIFY2(window.waitFor("quitting"), qPrintable(window.output()));
    QTest::qWait(1500);
    copySentinel();
    QCOMPARE(history().size(), items + 1);
    QVERIFY(!crossedBus("secret-from-wayland"));
}

void TestGnomeE2e::keyOpensThePanelAndReturnPastes_data()
{
    QTest::addColumn<QString>("appId");
    QTest::addColumn<QString>("stroke");
    QTest::newRow("editor") << "tavorindle-test-editor" << "key Ctrl+V";
    QTest::newRow("terminal") << "foot" << "key Ctrl+Shift+V";
}

void TestGnomeE2e::keyOpensThePanelAndReturnPastes()
{
    QFETCH(QString, appId);
    QFETCH(QString, stroke);
    const QString older = QStringLiteral("pasted back into %1").arg(appId);
    run("wl-copy", {older});
    QVERIFY(recorded(older));
    copySentinel();

    KeyWindow window;
    QVERIFY(window.start(appId));
    const auto before = history().size();
    m_keyboard.tap({Super, Shift, V});
    QVERIFY2(waitUntil([&] { return panelShown(); }), "Super+Shift+V did not open the panel");
    QVERIFY2(panelFocused(), "the panel did not get the focus");

    // The second row is the older copy; Return pastes it where the focus was.
    m_keyboard.tap({Down});
    QTest::qWait(200);
    m_keyboard.tap({Return});
    QVERIFY2(window.waitFor(stroke), qPrintable(window.output()));
    QVERIFY2(window.waitFor("paste " + older), qPrintable(window.output()));
    QVERIFY(!panelShown());

    // Our own write: on the clipboard for everyone, at the top, not a new item.
    QCOMPARE(run("wl-paste", {"--no-newline"}), older);
    const auto after = history();
    QCOMPARE(after.size(), before);
    QCOMPARE(after.first().text, older);
}

void TestGnomeE2e::newerCopyDuringALargeRead()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("large.txt");
    const qsizetype size = 20 * 1000 * 1000;
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(size, 'a'));
    }
    QProcess large;
    large.setStandardInputFile(path);
    large.start("wl-copy", {});
    QTest::qWait(100);
    const QString small = QStringLiteral("copied while a large copy was read");
    run("wl-copy", {small});
    QVERIFY(recorded(small));
    QTest::qWait(500);
    // The newer copy stays on top; the large one is whole or not there.
    const auto items = history();
    QCOMPARE(items.first().text, small);
    for (const Item &item : items)
        QVERIFY(!item.text.startsWith('a') || item.text.size() == size);
    // The shell lived through the pipe we dropped, and the bridge still reports.
    copySentinel();
    large.waitForFinished(2000);
}

void TestGnomeE2e::strangersAreRefused()
{
    const QString injected = QStringLiteral("injected by a stranger");
    const QString toBridge = run("gdbus", {"call", "--session", "--dest", "app.tavorindle.Bridge",
                                           "--object-path", "/app/tavorindle/Bridge", "--method",
                                           "app.tavorindle.Bridge1.SetClipboard", "1", "[0x41]", "false"});
    QVERIFY2(toBridge.contains("app.tavorindle.Error.AccessDenied"), qPrintable(toBridge));
    const QString toProgram = run(
        "gdbus", {"call", "--session", "--dest", "app.tavorindle.Tavorindle", "--object-path",
                  "/app/tavorindle/Client", "--method", "app.tavorindle.Client1.ClipboardChanged",
                  QStringLiteral("{'serial': <uint64 99999>, 'types': <['text/plain']>, 'concealed': <false>, "
                                 "'origin': <'wayland'>, 'text': <b'%1'>}").arg(injected)});
    QVERIFY2(toProgram.contains("app.tavorindle.Error.AccessDenied"), qPrintable(toProgram));
    copySentinel();
    for (const Item &item : history())
        QVERIFY(item.text != injected);
    QVERIFY(run("wl-paste", {"--no-newline"}) != "A");
}

void TestGnomeE2e::bridgeIgnoresAnotherProgramUnderOurName()
{
    m_program.terminate();
    QVERIFY(m_program.waitForFinished(5000));
    auto bus = QDBusConnection::sessionBus();
    QVERIFY(waitUntil([&] { return !bus.interface()->isServiceRegistered("app.tavorindle.Tavorindle").value(); }));

    // This test process takes the program's name: it is not the installed program.
    QVERIFY(bus.registerService("app.tavorindle.Tavorindle"));
    run("wl-copy", {"meant for the program only"});
    const QString log = qEnvironmentVariable("TAVORINDLE_GNOME_SHELL_LOG");
    QVERIFY2(waitUntil([&] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains("is not " + prefix().toUtf8());
    }), "the bridge did not turn the impostor away");
    QTest::qWait(500);
    QVERIFY(!crossedBus("meant for the program only"));
    bus.unregisterService("app.tavorindle.Tavorindle");
}

QTEST_GUILESS_MAIN(TestGnomeE2e)
#include "tst_gnome_e2e.moc"
