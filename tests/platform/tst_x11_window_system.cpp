// The active window, window classes and activation under a real window manager.
#include "x11/x11_connection.h"
#include "x11/x11_window_system.h"
#include "x11_test_tools.h"

#include <QGuiApplication>
#include <QRasterWindow>
#include <QTest>

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
    void shadowTilesAreHandedToTheCompositor();
};

namespace {

// A window's CARDINAL property, as xprop reads it.
std::vector<unsigned long> cardinals(quint64 window, const char *property)
{
    QByteArray out;
    run(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window), QString::fromLatin1(property)}, &out);
    std::vector<unsigned long> values;
    for (const QByteArray &value : out.mid(out.indexOf('=') + 1).split(',')) {
        bool ok = false;
        const unsigned long number = value.trimmed().toULong(&ok);
        if (ok)
            values.push_back(number);
    }
    return values;
}

} // namespace

void TestX11WindowSystem::shadowTilesAreHandedToTheCompositor()
{
    auto connection = X11Connection::open();
    QVERIFY(connection);
    X11WindowSystem windows(connection);
    QRasterWindow window;
    WindowSystem::Shadow shadow;
    for (int i = 0; i < 8; ++i) {
        shadow.tiles[size_t(i)] = QImage(i + 1, 2, QImage::Format_ARGB32_Premultiplied);
        shadow.tiles[size_t(i)].fill(qRgba(0, 0, 0, 20 * (i + 1)));
    }
    shadow.reach = QMargins(3, 4, 5, 6);
    windows.requestShadow(window.winId(), shadow);

    // Eight 32-bit pixmaps holding the tiles, then top, right, bottom, left.
    const std::vector<unsigned long> value = cardinals(window.winId(), "_KDE_NET_WM_SHADOW");
    QCOMPARE(value.size(), size_t(12));
    QCOMPARE(std::vector<unsigned long>(value.begin() + 8, value.end()), (std::vector<unsigned long>{4, 5, 6, 3}));
    for (int i = 0; i < 8; ++i) {
        XImage *image = XGetImage(connection->display(), value[size_t(i)], 0, 0, uint(i + 1), 2, AllPlanes, ZPixmap);
        QVERIFY(image);
        QCOMPARE(QList<int>({image->depth, int(XGetPixel(image, i, 1) >> 24)}), QList<int>({32, 20 * (i + 1)}));
        XDestroyImage(image);
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
