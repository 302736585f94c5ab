// The global key grab against a real X server, pressed with xdotool.
#include "app_process.h"
#include "x11/x11_connection.h"
#include "x11/x11_hot_key_backend.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

const QKeyCombination superShiftV(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V);
using GrabState = GlobalHotKeyBackend::GrabState;

bool xdotool(const QStringList &arguments)
{
    return AppProcess::run(QStringLiteral("xdotool"), arguments).exitCode == 0;
}

bool numLockOn(Display *display)
{
    XkbStateRec xkb;
    XkbGetState(display, XkbUseCoreKbd, &xkb);
    return (xkb.locked_mods & XkbKeysymToModifiers(display, XK_Num_Lock)) != 0;
}

// A key code with no symbol at all.
KeyCode spareKeyCode(Display *display)
{
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    for (int code = maxCode; code >= minCode; --code) {
        int perCode = 0;
        KeySym *symbols = XGetKeyboardMapping(display, KeyCode(code), 1, &perCode);
        const bool empty = std::all_of(symbols, symbols + perCode, [](KeySym s) { return s == NoSymbol; });
        XFree(symbols);
        if (empty)
            return KeyCode(code);
    }
    return 0;
}

void mapKey(Display *display, KeyCode code, KeySym lower, KeySym upper)
{
    KeySym symbols[2] = {lower, upper};
    XChangeKeyboardMapping(display, code, 2, symbols, 1);
    XSync(display, False);
}

} // namespace

class TestX11HotKeyBackend : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_connection = X11Connection::open();
        QVERIFY(m_connection);
    }

    void pressesCountOnceAndOnlyForTheGrab_data()
    {
        QTest::addColumn<QString>("lockKey");
        QTest::addColumn<bool>("ungrabbed");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("presses");
        const QStringList ours{"super+shift+v"};
        QTest::newRow("no lock") << QString() << false << ours << 1;
        QTest::newRow("Num Lock") << QStringLiteral("Num_Lock") << false << ours << 1;
        QTest::newRow("Caps Lock") << QStringLiteral("Caps_Lock") << false << ours << 1;
        QTest::newRow("other combinations") << QString() << false << QStringList{"super+v", "ctrl+shift+v", "super+shift+c"}
                                            << 0;
        QTest::newRow("after ungrab") << QString() << true << ours << 0;
    }

    void pressesCountOnceAndOnlyForTheGrab()
    {
        QFETCH(QString, lockKey);
        QFETCH(bool, ungrabbed);
        QFETCH(QStringList, keys);
        QFETCH(int, presses);
        X11HotKeyBackend backend(m_connection);
        QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
        if (ungrabbed) {
            backend.ungrab();
            QVERIFY(!backend.isGrabbed());
        }
        QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);
        if (!lockKey.isEmpty())
            QVERIFY(xdotool({"key", lockKey}));
        const auto lockOff = qScopeGuard([&] {
            if (!lockKey.isEmpty())
                xdotool({"key", lockKey});
        });
        if (lockKey == QLatin1String("Num_Lock"))
            QVERIFY(numLockOn(m_connection->display()));
        for (const QString &key : keys)
            QVERIFY(xdotool({"key", key}));
        QTRY_COMPARE(spy.count(), presses);
        QTest::qWait(150);
        QCOMPARE(spy.count(), presses);
    }

    void holdingTheKeysCountsOnce()
    {
        X11HotKeyBackend backend(m_connection);
        QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
        QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);
        QVERIFY(xdotool({"keydown", "super+shift+v"}));
        QTRY_COMPARE(spy.count(), 1);
        QTest::qWait(700); // longer than the server's repeat delay
        QVERIFY(xdotool({"keyup", "v"}));
        QVERIFY(xdotool({"keyup", "super+shift"}));
        QTest::qWait(100);
        QCOMPARE(spy.count(), 1);
    }

    void combinationTakenByAnotherProgramFails()
    {
        // Another client (its own connection) holds the combination first.
        auto otherConnection = X11Connection::open();
        QVERIFY(otherConnection);
        X11HotKeyBackend other(otherConnection);
        QCOMPARE(other.grab(superShiftV), GrabState::Grabbed);

        X11HotKeyBackend backend(m_connection);
        QCOMPARE(backend.grab(superShiftV), GrabState::Unavailable);
        QVERIFY(!backend.isGrabbed());
        // The failed attempt left the other program's grab intact.
        QSignalSpy spy(&other, &GlobalHotKeyBackend::pressed);
        QVERIFY(xdotool({"key", "super+shift+v"}));
        QTRY_COMPARE(spy.count(), 1);

        other.ungrab();
        QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
    }

    void grabFollowsTheKeyboardMapping()
    {
        X11HotKeyBackend backend(m_connection);
        QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
        QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);
        QSignalSpy states(&backend, &GlobalHotKeyBackend::grabStateChanged);

        // Layout switches, on a connection of their own: one without "v" loses
        // the grab; one with "v" on another key code brings it back there.
        Display *display = XOpenDisplay(nullptr);
        QVERIFY(display);
        const KeyCode code = XKeysymToKeycode(display, XK_v);
        const KeyCode spare = spareKeyCode(display);
        QVERIFY(spare);
        const auto restore = qScopeGuard([&] {
            mapKey(display, spare, NoSymbol, NoSymbol);
            mapKey(display, code, XK_v, XK_V);
            XCloseDisplay(display);
        });
        mapKey(display, code, NoSymbol, NoSymbol);
        QTRY_VERIFY(!backend.isGrabbed());
        mapKey(display, spare, XK_v, XK_V);
        QTRY_VERIFY(backend.isGrabbed());
        QCOMPARE(XKeysymToKeycode(m_connection->display(), XK_v), spare);
        // Each turn is reported once, so that the user can be told.
        QCOMPARE(states.count(), 2);
        QCOMPARE(states.at(0).at(0).value<GrabState>(), GrabState::Unavailable);
        QCOMPARE(states.at(1).at(0).value<GrabState>(), GrabState::Grabbed);
        QVERIFY(xdotool({"key", "super+shift+v"}));
        QTRY_COMPARE(spy.count(), 1);
    }

    void aKeyboardAnnouncedWithTheSameKeysKeepsTheGrabThroughout()
    {
        // Pressing keys on another keyboard makes the server announce a new
        // keyboard just before the keys themselves. Were the grab renewed
        // then, the press could land in the gap and reach the focused window.
        X11HotKeyBackend backend(m_connection);
        QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
        auto other = X11Connection::open();
        QVERIFY(other);
        Display *otherDisplay = other->display();
        const KeyCode spare = spareKeyCode(otherDisplay);
        QVERIFY(spare);
        const auto restore = qScopeGuard([&] { mapKey(otherDisplay, spare, NoSymbol, NoSymbol); });

        // After each of the backend's requests, another client tries to take
        // the combination: it must never be free.
        static X11Connection *probe = nullptr;
        static bool probing = false;
        static int gaps = 0;
        probe = other.get();
        gaps = 0;
        const auto afterEachRequest = [](Display *display) -> int {
            if (probing)
                return 0;
            probing = true;
            XSync(display, False);
            Display *prober = probe->display();
            const KeyCode v = XKeysymToKeycode(prober, XK_v);
            X11ErrorTrap trap(*probe);
            XGrabKey(prober, v, ShiftMask | Mod4Mask, probe->rootWindow(), False, GrabModeAsync, GrabModeAsync);
            if (trap.ok()) {
                ++gaps;
                XUngrabKey(prober, v, ShiftMask | Mod4Mask, probe->rootWindow());
                XSync(prober, False);
            }
            probing = false;
            return 0;
        };
        Display *ours = m_connection->display();
        const auto previous = XSetAfterFunction(ours, afterEachRequest);
        const auto unhook = qScopeGuard([&] { XSetAfterFunction(ours, previous); });

        mapKey(otherDisplay, spare, XK_F24, XK_F24);
        XSync(ours, False); // the notifications are queued on our side
        m_connection->dispatchPending();
        QCOMPARE(XKeysymToKeycode(ours, XK_F24), spare); // the change was seen
        QCOMPARE(gaps, 0);
        QVERIFY(backend.isGrabbed());
    }

private:
    std::shared_ptr<X11Connection> m_connection;
};

QTEST_MAIN(TestX11HotKeyBackend)
#include "tst_x11_hot_key_backend.moc"
