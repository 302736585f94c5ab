// The active window, window classes and activation under a real window manager.
#include "helper_process.h"
#include "x11/x11_connection.h"
#include "x11/x11_window_system.h"

#include <QRasterWindow>
#include <QTest>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// A window of another program, and its id once it is mapped.
struct OtherWindow
{
    OtherWindow(const QString &instanceName, const QString &className)
        : process(QStringLiteral(X11_KEY_LOGGER), {instanceName, className})
        , id(process.waitForLine("window ").value_or("window 0").mid(7).toULongLong())
    {
    }
    HelperProcess process;
    quint64 id;
};

// A window's CARDINAL property, as xprop reads it.
std::vector<unsigned long> cardinals(quint64 window, const char *property)
{
    const QByteArray out = AppProcess::run("xprop", {"-id", QString::number(window), property}).out;
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

class TestX11WindowSystem : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        m_connection = X11Connection::open();
        QVERIFY(m_connection);
        m_windows.emplace(m_connection);
    }

    void activeWindowClassAndActivation()
    {

        OtherWindow a(QStringLiteral("editor-one"), QStringLiteral("EditorOne"));
        QVERIFY(a.id);
        QTRY_COMPARE(m_windows->activeWindow(), a.id);
        OtherWindow b(QStringLiteral("editor-two"), QStringLiteral("EditorTwo"));
        QVERIFY(b.id);
        QTRY_COMPARE(m_windows->activeWindow(), b.id);

        QCOMPARE(m_windows->windowClass(b.id),
                 std::optional<WindowSystem::WindowClass>({QStringLiteral("editor-two"), QStringLiteral("EditorTwo")}));
        QVERIFY(!m_windows->isOwnWindow(b.id));

        // The remembered window comes back.
        m_windows->activate(a.id);
        QTRY_COMPARE(m_windows->activeWindow(), a.id);
        m_windows->activate(b.id);
        QTRY_COMPARE(m_windows->activeWindow(), b.id);
    }

    void ownWindowsAreKnownAndHidden()
    {
        QRasterWindow window;
        window.resize(200, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.requestActivate();
        QTRY_COMPARE(m_windows->activeWindow(), quint64(window.winId()));
        QVERIFY(m_windows->isOwnWindow(window.winId()));

        m_windows->hideOwnWindows();
        QVERIFY(!window.isVisible());
        const auto mapState = [&] {
            XWindowAttributes attributes{};
            XGetWindowAttributes(m_connection->display(), window.winId(), &attributes);
            return attributes.map_state;
        };
        QTRY_COMPARE(mapState(), IsUnmapped);
    }

    void unknownWindowsAreHandledQuietly()
    {
        QCOMPARE(m_windows->windowClass(0), std::nullopt);
        // An id no window has: errors are caught, not fatal.
        QCOMPARE(m_windows->windowClass(0x3fffff1), std::nullopt);
        QVERIFY(!m_windows->isOwnWindow(0x3fffff1));
        m_windows->activate(0);
    }

    // A compositor is seen by its selection's owner; blur counts as granted
    // only while one runs that announces it (KWin puts the request's own
    // name on the root window).
    void compositorAndBlurAreSeenOnTheRoot()
    {
        Display *display = m_connection->display();
        const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
        if (XGetSelectionOwner(display, XInternAtom(display, name.constData(), False)) != None)
            QSKIP("a compositor already runs on this display");
        QVERIFY(!m_windows->compositorActive());

        // Stand in for a compositor on a second connection.
        Display *compositor = XOpenDisplay(nullptr);
        QVERIFY(compositor);
        const Window root = DefaultRootWindow(compositor);
        const Atom blur = XInternAtom(compositor, "_KDE_NET_WM_BLUR_BEHIND_REGION", False);
        unsigned long nothing = 0;
        XChangeProperty(compositor, root, blur, XA_CARDINAL, 32, PropModeReplace,
                        reinterpret_cast<unsigned char *>(&nothing), 0);
        XSync(compositor, False);
        QVERIFY(!m_windows->blursBehind()); // announced, but no compositor

        const Window owner = XCreateSimpleWindow(compositor, root, 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(compositor, XInternAtom(compositor, name.constData(), False), owner, CurrentTime);
        XSync(compositor, False);
        QVERIFY(m_windows->compositorActive());
        QVERIFY(m_windows->blursBehind());
        XDeleteProperty(compositor, root, blur);
        XSync(compositor, False);
        QVERIFY(!m_windows->blursBehind()); // a compositor that does not blur (picom)
        XCloseDisplay(compositor); // the selection goes with its owner
        QTRY_VERIFY(!m_windows->compositorActive());
    }

    void shadowTilesAreHandedToTheCompositor()
    {
        QRasterWindow window;
        WindowSystem::Shadow shadow;
        for (int i = 0; i < 8; ++i) {
            shadow.tiles[size_t(i)] = QImage(i + 1, 2, QImage::Format_ARGB32_Premultiplied);
            shadow.tiles[size_t(i)].fill(qRgba(0, 0, 0, 20 * (i + 1)));
        }
        shadow.reach = QMargins(3, 4, 5, 6);
        m_windows->requestShadow(window.winId(), shadow);

        // Eight 32-bit pixmaps holding the tiles, then top, right, bottom, left.
        const std::vector<unsigned long> value = cardinals(window.winId(), "_KDE_NET_WM_SHADOW");
        QCOMPARE(value.size(), size_t(12));
        QCOMPARE(std::vector<unsigned long>(value.begin() + 8, value.end()), (std::vector<unsigned long>{4, 5, 6, 3}));
        for (int i = 0; i < 8; ++i) {
            XImage *image = XGetImage(m_connection->display(), value[size_t(i)], 0, 0, uint(i + 1), 2, AllPlanes, ZPixmap);
            QVERIFY(image);
            QCOMPARE(QList<int>({image->depth, int(XGetPixel(image, i, 1) >> 24)}), QList<int>({32, 20 * (i + 1)}));
            XDestroyImage(image);
        }

        // A window made anew gets tiles of its own; the gone one's are freed.
        window.destroy();
        QRasterWindow remade;
        m_windows->requestShadow(remade.winId(), shadow);
        const std::vector<unsigned long> remadeValue = cardinals(remade.winId(), "_KDE_NET_WM_SHADOW");
        QCOMPARE(remadeValue.size(), size_t(12));
        const auto exists = [this](unsigned long pixmap) {
            X11ErrorTrap trap(*m_connection);
            Window root = 0;
            int x = 0, y = 0;
            unsigned width = 0, height = 0, border = 0, depth = 0;
            XGetGeometry(m_connection->display(), pixmap, &root, &x, &y, &width, &height, &border, &depth);
            return trap.ok();
        };
        for (size_t i = 0; i < 8; ++i)
            QCOMPARE(QList<bool>({exists(value[i]), exists(remadeValue[i])}), QList<bool>({false, true}));
    }

private:
    std::shared_ptr<X11Connection> m_connection;
    std::optional<X11WindowSystem> m_windows;
};

QTEST_MAIN(TestX11WindowSystem)
#include "tst_x11_window_system.moc"
