// The active window, window classes and activation under a real window manager.
#include "x11/x11_connection.h"
#include "x11/x11_window_system.h"
#include "x11_test_tools.h"

#include <QGuiApplication>
#include <QRasterWindow>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

using namespace X11TestTools;

namespace {

// Starts a logger window and returns its id once the window manager has
// made it the active window.
quint64 startWindow(QProcess &process, LineReader &reader, const QString &instanceName,
                    const QString &className)
{
    process.start(helperPath("x11_key_logger"), {instanceName, className});
    if (!process.waitForStarted())
        return 0;
    QElapsedTimer timer;
    timer.start();
    while (!reader.output().startsWith("window ") && timer.elapsed() < 5000)
        QTest::qWait(5);
    return reader.lines().first().mid(7).toULongLong();
}

} // namespace

class TestX11WindowSystem : public QObject
{
    Q_OBJECT
private slots:
    void activeWindowClassAndActivation();
    void ownWindowsAreKnownAndHidden();
    void unknownWindowsAreHandledQuietly();
    void compositorIsSeenByItsSelection();
    void onAllDesktopsBeforeAndAfterShowing();
    void shadowTilesAreHandedToTheCompositor();
};

namespace {

std::vector<unsigned long> cardinals(X11Connection &connection, quint64 window, const char *property)
{
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    std::vector<unsigned long> values;
    if (XGetWindowProperty(connection.display(), window, connection.atom(property), 0, 64, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success && data) {
        // Xlib hands 32-bit items out in longs, sign-extended.
        for (unsigned long i = 0; i < count; ++i)
            values.push_back(reinterpret_cast<unsigned long *>(data)[i] & 0xFFFFFFFFul);
    }
    if (data)
        XFree(data);
    return values;
}

} // namespace

void TestX11WindowSystem::onAllDesktopsBeforeAndAfterShowing()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11WindowSystem windows(connection);
    const std::vector<unsigned long> all{0xFFFFFFFF};

    // Not yet shown: the window manager reads it when it maps the window.
    QRasterWindow early;
    early.resize(200, 100);
    windows.showOnAllDesktops(early.winId());
    early.show();
    QVERIFY(QTest::qWaitForWindowExposed(&early));
    QTRY_COMPARE(cardinals(*connection, early.winId(), "_NET_WM_DESKTOP"), all);

    // Already shown, on one desktop: a request to the window manager.
    QRasterWindow late;
    late.resize(200, 100);
    late.show();
    QVERIFY(QTest::qWaitForWindowExposed(&late));
    QTRY_COMPARE(cardinals(*connection, late.winId(), "_NET_WM_DESKTOP").size(), size_t(1));
    QVERIFY(cardinals(*connection, late.winId(), "_NET_WM_DESKTOP") != all);
    windows.showOnAllDesktops(late.winId());
    QTRY_COMPARE(cardinals(*connection, late.winId(), "_NET_WM_DESKTOP"), all);
}

void TestX11WindowSystem::shadowTilesAreHandedToTheCompositor()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11WindowSystem windows(connection);
    QRasterWindow window;
    window.resize(200, 100);
    WindowSystem::Shadow shadow;
    for (int i = 0; i < 8; ++i) {
        shadow.tiles[size_t(i)] = QImage(i + 1, 2, QImage::Format_ARGB32_Premultiplied);
        shadow.tiles[size_t(i)].fill(qRgba(0, 0, 0, 20 * (i + 1)));
    }
    shadow.reach = QMargins(3, 4, 5, 6);
    windows.requestShadow(window.winId(), shadow);

    // Eight 32-bit pixmaps holding the tiles, then top, right, bottom, left.
    const std::vector<unsigned long> value = cardinals(*connection, window.winId(), "_KDE_NET_WM_SHADOW");
    QCOMPARE(value.size(), size_t(12));
    QCOMPARE(std::vector<unsigned long>(value.begin() + 8, value.end()),
             (std::vector<unsigned long>{4, 5, 6, 3}));
    Display *display = connection->display();
    for (int i = 0; i < 8; ++i) {
        Window root = 0;
        int x = 0, y = 0;
        unsigned width = 0, height = 0, border = 0, depth = 0;
        QVERIFY(XGetGeometry(display, value[size_t(i)], &root, &x, &y, &width, &height, &border, &depth));
        QCOMPARE(QSize(int(width), int(height)), QSize(i + 1, 2));
        QCOMPARE(depth, 32u);
        XImage *image = XGetImage(display, value[size_t(i)], 0, 0, width, height, AllPlanes, ZPixmap);
        QVERIFY(image);
        const unsigned long pixel = XGetPixel(image, 0, 1);
        XDestroyImage(image);
        QCOMPARE(int(pixel >> 24), 20 * (i + 1));
    }
}

void TestX11WindowSystem::compositorIsSeenByItsSelection()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11WindowSystem windows(connection);
    Display *display = connection->display();
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.constData(), False);
    if (XGetSelectionOwner(display, selection) != None)
        QSKIP("a compositor already runs on this display");
    QVERIFY(!windows.compositorActive());

    // Stand in for a compositor on a second connection: owning the selection is what counts.
    Display *compositor = XOpenDisplay(nullptr);
    QVERIFY(compositor);
    const Window owner = XCreateSimpleWindow(compositor, DefaultRootWindow(compositor), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(compositor, XInternAtom(compositor, name.constData(), False), owner, CurrentTime);
    XSync(compositor, False);
    QVERIFY(windows.compositorActive());
    XCloseDisplay(compositor); // the selection goes with its owner
    QTRY_VERIFY(!windows.compositorActive());
}

void TestX11WindowSystem::activeWindowClassAndActivation()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11WindowSystem windows(connection);

    QProcess first;
    LineReader firstReader(first);
    const quint64 a = startWindow(first, firstReader, QStringLiteral("editor-one"), QStringLiteral("EditorOne"));
    QVERIFY(a);
    QTRY_COMPARE(windows.activeWindow(), a);
    QProcess second;
    LineReader secondReader(second);
    const quint64 b = startWindow(second, secondReader, QStringLiteral("editor-two"), QStringLiteral("EditorTwo"));
    QVERIFY(b);
    QTRY_COMPARE(windows.activeWindow(), b);

    QCOMPARE(windows.windowClass(b),
             std::optional<WindowSystem::WindowClass>({QStringLiteral("editor-two"), QStringLiteral("EditorTwo")}));
    QVERIFY(!windows.isOwnWindow(b));

    // The remembered window comes back.
    windows.activate(a);
    QTRY_COMPARE(windows.activeWindow(), a);
    windows.activate(b);
    QTRY_COMPARE(windows.activeWindow(), b);

    first.kill();
    second.kill();
    first.waitForFinished();
    second.waitForFinished();
}

void TestX11WindowSystem::ownWindowsAreKnownAndHidden()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11WindowSystem windows(connection);
    QRasterWindow window;
    window.resize(200, 100);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.requestActivate();
    QTRY_COMPARE(windows.activeWindow(), quint64(window.winId()));
    QVERIFY(windows.isOwnWindow(window.winId()));

    windows.hideOwnWindows();
    QVERIFY(!window.isVisible());
    const auto mapState = [&] {
        XWindowAttributes attributes{};
        XGetWindowAttributes(connection->display(), window.winId(), &attributes);
        return attributes.map_state;
    };
    QTRY_COMPARE(mapState(), IsUnmapped);
}

void TestX11WindowSystem::unknownWindowsAreHandledQuietly()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11WindowSystem windows(connection);
    QCOMPARE(windows.windowClass(0), std::nullopt);
    // An id no window has: errors are caught, not fatal.
    QCOMPARE(windows.windowClass(0x3fffff1), std::nullopt);
    QVERIFY(!windows.isOwnWindow(0x3fffff1));
    windows.activate(0);
}

QTEST_MAIN(TestX11WindowSystem)
#include "tst_x11_window_system.moc"
