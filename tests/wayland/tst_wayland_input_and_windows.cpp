// Paste strokes and windows in headless sway: a virtual keyboard of our
// own types into real Wayland windows, found and activated through the
// foreign-toplevel list, checked against sway's own view of its tree.
#include "paste_stroke.h"
#include "wayland/foreign_toplevel_window_system.h"
#include "wayland/virtual_keyboard_synthesizer.h"
#include "wayland/wayland_connection.h"
#include "wayland_test_tools.h"

#include <QTest>

using namespace WaylandTestTools;

class TestWaylandInputAndWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
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

    void pasteStrokeLandsInTheActiveWindow_data()
    {
        QTest::addColumn<QString>("appId");
        QTest::addColumn<QByteArray>("stroke");
        QTest::newRow("a Qt program") << "org.example.notes" << QByteArray("key Ctrl+V");
        QTest::newRow("foot") << "foot" << QByteArray("key Ctrl+Shift+V");
        QTest::newRow("GNOME Terminal") << "org.gnome.Terminal" << QByteArray("key Ctrl+Shift+V");
    }

    void pasteStrokeLandsInTheActiveWindow()
    {
        QFETCH(QString, appId);
        QFETCH(QByteArray, stroke);
        auto window = openWindow(appId);
        QVERIFY(window);
        QTRY_COMPARE(activeAppId(), appId);
        QVERIFY(!m_windows->isOwnWindow(m_windows->activeWindow()));

        m_keyboard->postPasteStroke(pasteStrokeForWindowClass(appId, appId));
        QCOMPARE(window->waitForLine("key "), std::optional(stroke));
        // One stroke, no stray keys after it.
        QTest::qWait(100);
        QVERIFY(!window->waitForLine("key ", 0));
    }

    void activationGivesTheFocusBack()
    {
        auto first = openWindow(QStringLiteral("first"));
        QVERIFY(first);
        QTRY_COMPARE(activeAppId(), QStringLiteral("first"));
        const auto remembered = m_windows->activeWindow();
        QVERIFY(m_sway->focuses(QStringLiteral("first")));

        auto second = openWindow(QStringLiteral("second"));
        QVERIFY(second);
        QTRY_VERIFY(m_windows->activeWindow() != remembered);
        QVERIFY(m_sway->focuses(QStringLiteral("second")));

        m_windows->activate(remembered);
        QVERIFY(first->waitForLine("focus"));
        QTRY_COMPARE(m_windows->activeWindow(), remembered);
        QVERIFY(m_sway->focuses(QStringLiteral("first")));
    }

private:
    // Another program's window, once it has the focus.
    std::unique_ptr<HelperProcess> openWindow(const QString &appId)
    {
        auto window = std::make_unique<HelperProcess>(WAYLAND_WINDOW, QStringList{appId}, m_sway->environment);
        return window->waitForLine("focus") ? std::move(window) : nullptr;
    }
    // The app id of the window the foreign-toplevel list says is active.
    QString activeAppId()
    {
        const auto windowClass = m_windows->windowClass(m_windows->activeWindow());
        return windowClass ? windowClass->instanceName : QString();
    }

    // Gone in reverse order: the clients before sway.
    std::unique_ptr<HeadlessSway> m_sway;
    std::shared_ptr<WaylandConnection> m_connection;
    std::unique_ptr<VirtualKeyboardSynthesizer> m_keyboard;
    std::unique_ptr<ForeignToplevelWindowSystem> m_windows;
};

QTEST_MAIN(TestWaylandInputAndWindows)
#include "tst_wayland_input_and_windows.moc"
