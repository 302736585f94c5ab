// Paste strokes and windows in headless sway: a virtual keyboard of our
// own types into real Wayland windows, found and activated through the
// foreign-toplevel list, checked against sway's own view of its tree.
#include "paste_stroke.h"
#include "wayland/foreign_toplevel_window_system.h"
#include "wayland/virtual_keyboard_synthesizer.h"
#include "wayland/wayland_connection.h"
#include "wayland_test_tools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace WaylandTestTools;

namespace {

// Whether sway's tree has a focused window with that app id.
bool focusedIn(const QJsonObject &node, const QString &appId)
{
    if (node.value(QLatin1String("focused")).toBool() && node.value(QLatin1String("app_id")).toString() == appId)
        return true;
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue &child : node.value(QLatin1String(children)).toArray()) {
            if (focusedIn(child.toObject(), appId))
                return true;
        }
    }
    return false;
}

} // namespace

class TestWaylandInputAndWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void pasteStrokeLandsInTheActiveWindow_data();
    void pasteStrokeLandsInTheActiveWindow();
    void activationGivesTheFocusBack();

private:
    std::unique_ptr<Program> openWindow(const QString &appId);
    bool swayFocuses(const QString &appId);

    std::unique_ptr<HeadlessSway> m_sway;
    std::shared_ptr<WaylandConnection> m_connection;
    std::unique_ptr<VirtualKeyboardSynthesizer> m_keyboard;
    std::unique_ptr<ForeignToplevelWindowSystem> m_windows;
};

void TestWaylandInputAndWindows::initTestCase()
{
    m_sway = std::make_unique<HeadlessSway>();
    QVERIFY2(m_sway->isReady(), qPrintable(m_sway->error()));
    m_connection = WaylandConnection::open(m_sway->socketPath());
    QVERIFY(m_connection);
    // Made once, well before the first stroke, as the program does.
    m_keyboard = std::make_unique<VirtualKeyboardSynthesizer>(m_connection);
    m_windows = std::make_unique<ForeignToplevelWindowSystem>(m_connection, QStringList{"tavorindle"});
    QVERIFY(m_keyboard->mayPostInputEvents());
    QVERIFY(m_windows->isWatching());
}

void TestWaylandInputAndWindows::cleanupTestCase()
{
    m_windows.reset();
    m_keyboard.reset();
    m_connection.reset();
    m_sway.reset();
}

std::unique_ptr<Program> TestWaylandInputAndWindows::openWindow(const QString &appId)
{
    auto window = std::make_unique<Program>(helperPath("wayland_key_logger"), QStringList{appId},
                                            m_sway->environment());
    if (!window->waitForLine("focus"))
        return nullptr;
    return window;
}

bool TestWaylandInputAndWindows::swayFocuses(const QString &appId)
{
    const QJsonDocument tree = QJsonDocument::fromJson(m_sway->swaymsg({"-t", "get_tree", "-r"}));
    return focusedIn(tree.object(), appId);
}

void TestWaylandInputAndWindows::pasteStrokeLandsInTheActiveWindow_data()
{
    QTest::addColumn<QString>("appId");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("a Qt program") << "org.example.notes" << int(Qt::ControlModifier);
    QTest::newRow("foot") << "foot" << int(Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("GNOME Terminal") << "org.gnome.Terminal" << int(Qt::ControlModifier | Qt::ShiftModifier);
}

void TestWaylandInputAndWindows::pasteStrokeLandsInTheActiveWindow()
{
    QFETCH(QString, appId);
    QFETCH(int, modifiers);
    auto window = openWindow(appId);
    QVERIFY(window);
    QTRY_VERIFY(m_windows->windowClass(m_windows->activeWindow()).has_value()
                && m_windows->windowClass(m_windows->activeWindow())->instanceName == appId);
    QVERIFY(!m_windows->isOwnWindow(m_windows->activeWindow()));

    const auto windowClass = m_windows->windowClass(m_windows->activeWindow());
    m_keyboard->postPasteStroke(pasteStrokeForWindowClass(windowClass->instanceName, windowClass->className));
    const auto key = window->waitForLine("key ");
    QVERIFY(key);
    QCOMPARE(*key, QStringLiteral("key %1 %2").arg(int(Qt::Key_V)).arg(modifiers).toUtf8());
    // One stroke, no stray keys after it.
    QTest::qWait(100);
    QVERIFY(!window->waitForLine("key ", 0));
}

void TestWaylandInputAndWindows::activationGivesTheFocusBack()
{
    auto first = openWindow(QStringLiteral("first"));
    QVERIFY(first);
    QTRY_VERIFY(m_windows->windowClass(m_windows->activeWindow())
                && m_windows->windowClass(m_windows->activeWindow())->instanceName == QLatin1String("first"));
    const auto remembered = m_windows->activeWindow();
    QVERIFY(swayFocuses(QStringLiteral("first")));

    auto second = openWindow(QStringLiteral("second"));
    QVERIFY(second);
    QTRY_VERIFY(m_windows->activeWindow() != remembered);
    QVERIFY(swayFocuses(QStringLiteral("second")));

    m_windows->activate(remembered);
    QVERIFY(first->waitForLine("focus"));
    QTRY_COMPARE(m_windows->activeWindow(), remembered);
    QVERIFY(swayFocuses(QStringLiteral("first")));
}

QTEST_MAIN(TestWaylandInputAndWindows)
#include "tst_wayland_input_and_windows.moc"
