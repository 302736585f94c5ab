// The installed program in a headless KWin, granted its protocols by its
// installed desktop entry alone: every copy is recorded from the first,
// concealed copies are never read, a Wayland or X owner that quits leaves
// its copy on the clipboard, Meta+Shift+V (typed through KWin's fake input)
// reaches the program through KDE's shortcut service and a key the user
// set there is kept, and pastes land in the window that had the focus,
// with Ctrl+Shift+V for terminals.
#include "helper_process.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QKeyCombination>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using AppProcess::waitUntil;

namespace {

// Evdev codes of the keys the tests type.
namespace Key {
constexpr int escape = 1, enter = 28, leftCtrl = 29, k = 37, leftShift = 42, v = 47, down = 108, leftMeta = 125;
}

// A stroke: the modifiers held around the key, in order.
QStringList stroke(std::initializer_list<int> modifiers, int key)
{
    QStringList keys;
    for (int m : modifiers)
        keys << QString::number(m) + u'+';
    keys << QString::number(key) + u'+' << QString::number(key) + u'-';
    for (auto m = std::rbegin(modifiers); m != std::rend(modifiers); ++m)
        keys << QString::number(*m) + u'-';
    return keys;
}

const QStringList toggleKey = stroke({Key::leftMeta, Key::leftShift}, Key::v);

const QString service = QStringLiteral("org.kde.kglobalaccel");
const QStringList actionId{"tavorindle", "Toggle", "Tavorindle", "Show or hide Tavorindle"};

} // namespace

class TestKdeEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        for (const char *tool : {"wl-copy", "wl-paste", "xwininfo"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(), tool);
        QVERIFY2(qEnvironmentVariableIsSet("WAYLAND_DISPLAY") && qEnvironmentVariableIsSet("DISPLAY"),
                 "run inside run_in_kwin.sh");
        m_binary = qEnvironmentVariable("TAVORINDLE_PREFIX") + QStringLiteral("/bin/tavorindle");
        QVERIFY2(QFile::exists(m_binary), qPrintable(m_binary));
    }

    void init()
    {
        m_app = std::make_unique<AppProcess::App>(m_binary);
    }

    void cleanup()
    {
        m_app.reset();
        m_target.reset();
        // Each case starts from the default key.
        setKeyAsSystemSettingsDoes(toggleCombination());
    }

    void firstCopyAfterAnEmptyStartIsRecorded()
    {
        QCOMPARE(wl({"wl-copy", "--clear"}), 0);
        QVERIFY(m_app->start());
        QVERIFY(copy(QStringLiteral("the first copy")));
        QVERIFY(copy(QStringLiteral("the second copy")));
        QCOMPARE(history().mid(0, 2), (QStringList{"the second copy", "the first copy"}));
    }

    void kindsAreRecordedButConcealedCopiesNeverRead()
    {
        QVERIFY(m_app->start());
        HelperProcess owner(WL_CLIP_OWNER, {"serve", "text/plain;charset=utf-8,x-kde-passwordManagerHint",
                                            "b64:" + QByteArray("hunter2").toBase64()});
        QVERIFY(owner.waitForLine("ready"));
        QVERIFY(copy(QStringLiteral("https://example.org/page")));
        QVERIFY(copy(QStringLiteral("#ff8800")));
        const auto items = m_app->history();
        QCOMPARE(items.at(0).kind, QStringLiteral("color"));
        QCOMPARE(items.at(1).kind, QStringLiteral("link"));
        QVERIFY(!history().contains("hunter2"));
        QVERIFY(!owner.printed("receive "));
    }

    void aWaylandOwnerThatQuitsLeavesItsCopy()
    {
        QVERIFY(m_app->start());
        {
            HelperProcess owner(WL_CLIP_OWNER, {"serve", "text/plain;charset=utf-8", "b64:" + QByteArray("kept after its owner").toBase64()});
            QVERIFY(owner.waitForLine("ready"));
            QVERIFY(m_app->recorded(QStringLiteral("kept after its owner")));
        }
        QVERIFY(waitUntil([&] { return paste() == "kept after its owner"; }));
    }

    void anXOwnerThatQuitsLeavesItsCopy()
    {
        // KWin takes X programs' copies only while an X window has the focus.
        HelperProcess window(X11_KEY_LOGGER, {"xwin", "XWin"});
        const auto mapped = window.waitForLine("window ");
        QVERIFY(mapped);
        QVERIFY(AppProcess::activate(mapped->mid(7).toULongLong(nullptr, 0)));
        QVERIFY(m_app->start());
        {
            QTemporaryDir folder;
            HelperProcess owner(X11_CLIP_OWNER, {"serve", "from an X program", folder.filePath("requests")});
            QVERIFY(owner.waitForLine("ready"));
            QVERIFY(m_app->recorded(QStringLiteral("from an X program")));
        }
        // KWin still lists the quit program's types, and reading them gives
        // nothing (or never ends) until the program offers the copy again.
        QVERIFY(waitUntil([&] { return paste(2000) == "from an X program"; }, 15000));
    }

    void theKeyOpensThePanelThroughKdesShortcutService()
    {
        // The desktop portal's global shortcuts, which bind no key on Plasma
        // 5.27 and send the user to System Settings instead, must not be
        // asked, nor whether the portal has them. (Qt asks the portal other
        // things of its own.)
        const QString portal = QStringLiteral("destination=org.freedesktop.portal.Desktop,");
        HelperProcess portalCalls("dbus-monitor", {"--session", portal + "interface=org.freedesktop.portal.GlobalShortcuts",
                                                   portal + "interface=org.freedesktop.DBus.Properties,"
                                                            "arg0=org.freedesktop.portal.GlobalShortcuts"});
        QVERIFY(portalCalls.waitForLine("signal", 5000)); // the monitor's own start
        QVERIFY(m_app->start());
        // Registered as KDE programs do, under our desktop entry's name.
        QVERIFY(openPanel(toggleKey));
        QCOMPARE(keys(), QList<int>{toggleCombination()});
        QVERIFY(type(stroke({}, Key::escape)));
        QVERIFY(waitUntil([] { return AppProcess::ourWindows().isEmpty(); }));
        QVERIFY(!portalCalls.printed("method call"));
    }

    void aKeyTheUserSetIsKeptAfterARestart()
    {
        QVERIFY(m_app->start());
        QVERIFY(waitUntil([&] { return keys() == QList<int>{toggleCombination()}; }));
        const int metaCtrlK = QKeyCombination(Qt::MetaModifier | Qt::ControlModifier, Qt::Key_K).toCombined();
        setKeyAsSystemSettingsDoes(metaCtrlK);
        m_app->stop();
        QVERIFY(m_app->start());
        // The program registers again; the user's key stays and works.
        QVERIFY(openPanel(stroke({Key::leftMeta, Key::leftCtrl}, Key::k)));
        QCOMPARE(keys(), QList<int>{metaCtrlK});
    }

    void pastesLandInTheWindowThatHadTheFocus_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<bool>("fromThePanel"); // else `tavorindle paste 2`
        QTest::addColumn<QByteArray>("stroke");
        QTest::newRow("panel, native window") << "paste-target" << true << QByteArray("Ctrl+V");
        QTest::newRow("panel, terminal") << "org.kde.konsole" << true << QByteArray("Ctrl+Shift+V");
        QTest::newRow("command, native window") << "paste-target" << false << QByteArray("Ctrl+V");
        QTest::newRow("command, terminal") << "org.kde.konsole" << false << QByteArray("Ctrl+Shift+V");
    }

    void pastesLandInTheWindowThatHadTheFocus()
    {
        QFETCH(QString, appId);
        QFETCH(bool, fromThePanel);
        QVERIFY(m_app->start());
        QVERIFY(copy(QStringLiteral("older item")));
        QVERIFY(copy(QStringLiteral("newer item")));
        m_target = std::make_unique<HelperProcess>(WAYLAND_WINDOW, QStringList{appId});
        QVERIFY(m_target->waitForLine("focus"));
        if (fromThePanel) {
            QVERIFY(openPanel(toggleKey));
            QVERIFY(type(stroke({}, Key::down) + QStringList{"wait"} + stroke({}, Key::enter)));
        } else {
            QCOMPARE(m_app->command({"paste", "2"}).exitCode, 0);
        }
        const auto key = m_target->waitForLine("key ");
        QVERIFY(key);
        QTEST(key->mid(4), "stroke");
        const auto pasted = m_target->waitForLine("text ");
        QVERIFY(pasted);
        QCOMPARE(QByteArray::fromBase64(pasted->mid(5)), QByteArray("older item"));
    }

private:
    static int toggleCombination()
    {
        return QKeyCombination(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V).toCombined();
    }
    // What KDE's shortcut service holds for our action.
    static QList<int> keys()
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, "/kglobalaccel", "org.kde.KGlobalAccel", "shortcut");
        call << actionId;
        const QDBusReply<QList<int>> reply = QDBusConnection::sessionBus().call(call);
        return reply.isValid() ? reply.value() : QList<int>{-1};
    }
    // Another program (System Settings' Shortcuts page) sets our key.
    static void setKeyAsSystemSettingsDoes(int key)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(service, "/kglobalaccel", "org.kde.KGlobalAccel",
                                                           "setForeignShortcut");
        call << actionId << QVariant::fromValue(QList<int>{key});
        QDBusConnection::sessionBus().call(call);
    }
    static int wl(const QStringList &command, const QByteArray &input = {})
    {
        return AppProcess::run(command.first(), command.mid(1), input).exitCode;
    }
    static QByteArray paste(int timeoutMs = 10000)
    {
        return AppProcess::run("wl-paste", {"--no-newline"}, {}, QProcessEnvironment::systemEnvironment(), timeoutMs).out;
    }
    static bool type(const QStringList &keys) { return AppProcess::run(KDE_KEYBOARD, keys).exitCode == 0; }
    // Types the key until the panel shows: the program registers its key
    // with KDE's shortcut service a moment after it is ready.
    static bool openPanel(const QStringList &key)
    {
        return waitUntil([&] {
            return type(key) && waitUntil([] { return !AppProcess::ourWindows().isEmpty(); }, 1500);
        }, 15000);
    }
    bool copy(const QString &text) { return wl({"wl-copy", text}) == 0 && m_app->recorded(text); }
    QStringList history() const { return AppProcess::texts(m_app->history()); }

    QString m_binary;
    std::unique_ptr<AppProcess::App> m_app;
    std::unique_ptr<HelperProcess> m_target;
};

QTEST_GUILESS_MAIN(TestKdeEndToEnd)
#include "tst_kde_e2e.moc"
