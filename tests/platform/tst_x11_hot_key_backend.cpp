// The global key grab against a real X server, pressed with xdotool.
#include "x11/x11_connection.h"
#include "x11/x11_hot_key_backend.h"
#include "x11_test_tools.h"

#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

using namespace X11TestTools;

namespace {

const QKeyCombination superShiftV(Qt::MetaModifier | Qt::ShiftModifier, Qt::Key_V);
using GrabState = GlobalHotKeyBackend::GrabState;

bool numLockOn(Display *display)
{
    unsigned int state = 0;
    XkbGetIndicatorState(display, XkbUseCoreKbd, &state);
    XkbStateRec xkb;
    XkbGetState(display, XkbUseCoreKbd, &xkb);
    const unsigned int mask = XkbKeysymToModifiers(display, XK_Num_Lock);
    return (xkb.locked_mods & mask) != 0;
}

} // namespace

class TestX11HotKeyBackend : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void pressCallsOnceWhateverLocksAreOn_data();
    void pressCallsOnceWhateverLocksAreOn();
    void holdingTheKeysCountsOnce();
    void otherCombinationsAreNotTaken();
    void combinationTakenByAnotherProgramFails();
    void ungrabbedKeyIsNotSeen();
    void grabFollowsTheKeyboardMapping();
    void grabComesBackAfterALayoutWithoutTheKey();

private:
    std::shared_ptr<X11Connection> m_connection;
};

void TestX11HotKeyBackend::init()
{
    m_connection = X11Connection::open();
    QVERIFY(m_connection);
}

void TestX11HotKeyBackend::pressCallsOnceWhateverLocksAreOn_data()
{
    QTest::addColumn<QString>("lockKey");
    QTest::newRow("no lock") << QString();
    QTest::newRow("Num Lock") << QStringLiteral("Num_Lock");
    QTest::newRow("Caps Lock") << QStringLiteral("Caps_Lock");
}

void TestX11HotKeyBackend::pressCallsOnceWhateverLocksAreOn()
{
    QFETCH(QString, lockKey);
    X11HotKeyBackend backend(m_connection);
    QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
    QVERIFY(backend.isGrabbed());
    QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);
    if (!lockKey.isEmpty())
        QVERIFY(xdotool({"key", lockKey}));
    if (lockKey == QLatin1String("Num_Lock"))
        QVERIFY(numLockOn(m_connection->display()));
    QVERIFY(xdotool({"key", "super+shift+v"}));
    QTRY_COMPARE(spy.count(), 1);
    QTest::qWait(100);
    QCOMPARE(spy.count(), 1);
    if (!lockKey.isEmpty())
        QVERIFY(xdotool({"key", lockKey})); // back off
}

void TestX11HotKeyBackend::holdingTheKeysCountsOnce()
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

void TestX11HotKeyBackend::otherCombinationsAreNotTaken()
{
    X11HotKeyBackend backend(m_connection);
    QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
    QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);
    QVERIFY(xdotool({"key", "super+v"}));
    QVERIFY(xdotool({"key", "ctrl+shift+v"}));
    QVERIFY(xdotool({"key", "super+shift+c"}));
    QTest::qWait(150);
    QCOMPARE(spy.count(), 0);
}

void TestX11HotKeyBackend::combinationTakenByAnotherProgramFails()
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

void TestX11HotKeyBackend::ungrabbedKeyIsNotSeen()
{
    X11HotKeyBackend backend(m_connection);
    QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
    backend.ungrab();
    QVERIFY(!backend.isGrabbed());
    QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);
    QVERIFY(xdotool({"key", "super+shift+v"}));
    QTest::qWait(150);
    QCOMPARE(spy.count(), 0);
}

void TestX11HotKeyBackend::grabFollowsTheKeyboardMapping()
{
    X11HotKeyBackend backend(m_connection);
    QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
    QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);

    // Move "v" to a spare key code, as a layout switch would.
    Display *display = XOpenDisplay(nullptr);
    QVERIFY(display);
    int minCode = 0;
    int maxCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    const KeyCode oldCode = XKeysymToKeycode(display, XK_v);
    int spare = 0;
    for (int code = maxCode; code >= minCode && !spare; --code) {
        int perCode = 0;
        KeySym *syms = XGetKeyboardMapping(display, KeyCode(code), 1, &perCode);
        bool empty = true;
        for (int i = 0; i < perCode; ++i)
            empty = empty && syms[i] == NoSymbol;
        XFree(syms);
        if (empty)
            spare = code;
    }
    QVERIFY(spare);
    static KeySym vSyms[2] = {XK_v, XK_V};
    static KeySym none[2] = {NoSymbol, NoSymbol};
    XChangeKeyboardMapping(display, spare, 2, vSyms, 1);
    XChangeKeyboardMapping(display, oldCode, 2, none, 1);
    XSync(display, False);
    // Put the mapping back however the test ends.
    const auto restore = qScopeGuard([&] {
        XChangeKeyboardMapping(display, oldCode, 2, vSyms, 1);
        XChangeKeyboardMapping(display, spare, 2, none, 1);
        XSync(display, False);
        XCloseDisplay(display);
    });

    QTRY_VERIFY(XKeysymToKeycode(m_connection->display(), XK_v) == spare);
    QTest::qWait(100);
    QVERIFY(xdotool({"key", "super+shift+v"}));
    QTRY_COMPARE(spy.count(), 1);
    QVERIFY(backend.isGrabbed());
}

QTEST_MAIN(TestX11HotKeyBackend)
#include "tst_x11_hot_key_backend.moc"

void TestX11HotKeyBackend::grabComesBackAfterALayoutWithoutTheKey()
{
    X11HotKeyBackend backend(m_connection);
    QCOMPARE(backend.grab(superShiftV), GrabState::Grabbed);
    QSignalSpy spy(&backend, &GlobalHotKeyBackend::pressed);
    QSignalSpy states(&backend, &GlobalHotKeyBackend::grabStateChanged);

    // A layout with no "v" at all loses the grab...
    Display *display = XOpenDisplay(nullptr);
    QVERIFY(display);
    const KeyCode code = XKeysymToKeycode(display, XK_v);
    static KeySym vSyms[2] = {XK_v, XK_V};
    static KeySym none[2] = {NoSymbol, NoSymbol};
    const auto restore = qScopeGuard([&] {
        XChangeKeyboardMapping(display, code, 2, vSyms, 1);
        XSync(display, False);
        XCloseDisplay(display);
    });
    XChangeKeyboardMapping(display, code, 2, none, 1);
    XSync(display, False);
    QTRY_VERIFY(!backend.isGrabbed());

    // ...and switching back brings it back.
    XChangeKeyboardMapping(display, code, 2, vSyms, 1);
    XSync(display, False);
    QTRY_VERIFY(backend.isGrabbed());
    // Each turn is reported once, so that the user can be told.
    QCOMPARE(states.count(), 2);
    QCOMPARE(states.at(0).at(0).value<GrabState>(), GrabState::Unavailable);
    QCOMPARE(states.at(1).at(0).value<GrabState>(), GrabState::Grabbed);
    QVERIFY(xdotool({"key", "super+shift+v"}));
    QTRY_COMPARE(spy.count(), 1);
}
