// The built program on a real X server with a window manager and a tray:
// copy, open with the global key, paste into another window, the tray icon,
// a second copy of the program and --quit.
#include "app_process.h"
#include "paste_target.h"

#include <QApplication>
#include <QImage>
#include <QScreen>
#include <QStandardPaths>

#include <cmath>
#include <functional>

using namespace AppProcess;

namespace {

const QSize panelSize(720, 460);

QString xdotool(const QStringList &arguments) { return output("xdotool", arguments); }

std::optional<Window> visiblePanel()
{
    for (const Window &window : ourWindows()) {
        if (window.geometry.size() == panelSize)
            return window;
    }
    return std::nullopt;
}

} // namespace

class TestX11AppEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display");
        for (const char *tool : {"xdotool", "xclip", "xwininfo", "xprop", "import"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(), tool);
        QVERIFY(m_app.start());
        QVERIFY(m_target.showExposed());
        for (const char *text : {"first clip", "second clip", "third clip"}) {
            output("xclip", {"-selection", "clipboard"}, text);
            QVERIFY2(m_app.recorded(text), text);
        }
    }

    void init()
    {
        QVERIFY(m_app.isRunning());
        if (visiblePanel())
            xdotool({"key", "Escape"});
        QVERIFY(waitUntil([] { return !visiblePanel(); }));
        QVERIFY(m_target.activateEmpty());
    }

    void hotKeyOpensACentredPanelOnTopAndEscapeGivesTheFocusBack()
    {
        QVERIFY(openPanel());
        const Window panel = *visiblePanel();
        QCOMPARE(panel.geometry.center(), QGuiApplication::primaryScreen()->availableGeometry().center());
        const QString state = output("xprop", {"-id", QString::number(panel.id), "_NET_WM_STATE"});
        QVERIFY2(state.contains("_NET_WM_STATE_ABOVE"), qPrintable(state));
        // On every desktop, with the shadow's tiles offered to the compositor.
        QCOMPARE(output("xprop", {"-id", QString::number(panel.id), "_NET_WM_DESKTOP"}),
                 QString("_NET_WM_DESKTOP(CARDINAL) = 4294967295"));
        QVERIFY(output("xprop", {"-id", QString::number(panel.id), "_KDE_NET_WM_SHADOW"}).contains("CARDINAL"));
        xdotool({"key", "Escape"});
        QVERIFY(panelHidesAndTargetIsActive());

        // The same key toggles it: open, then hidden again with the focus back.
        QVERIFY(openPanel());
        xdotool({"key", "super+shift+v"});
        QVERIFY(panelHidesAndTargetIsActive());
        QVERIFY(m_target.field->text().isEmpty()); // nothing pasted on the way
    }

    void returnAndCtrlDigitPasteTheirRow()
    {
        QVERIFY(openPanel());
        // Rows: third, second, first. Down selects the second row.
        xdotool({"key", "Down"});
        xdotool({"key", "Return"});
        QVERIFY(panelHidesAndTargetIsActive());
        QVERIFY(m_target.received("second clip"));
        QCOMPARE(output("xclip", {"-selection", "clipboard", "-o"}), QString("second clip"));

        // The paste moved "second clip" to the top: second, third, first.
        QVERIFY(m_target.activateEmpty());
        QVERIFY(openPanel());
        xdotool({"key", "ctrl+2"});
        QVERIFY(panelHidesAndTargetIsActive());
        QVERIFY(m_target.received("third clip"));
    }

    void trayIconTogglesAndOpensItsMenu()
    {
        // Our small window inside the tray.
        const auto trayIcon = [] {
            for (const Window &w : ourWindows()) {
                if (w.geometry.width() > 4 && w.geometry.width() <= 64 && w.geometry.height() <= 64)
                    return std::optional(w);
            }
            return std::optional<Window>();
        };
        std::optional<Window> icon;
        QVERIFY2(waitUntil([&] { return (icon = trayIcon()).has_value(); }, 3000), "no icon in the tray");
        const QStringList clickAt{"mousemove", "--window", QString::number(icon->id), "8", "8", "click"};

        xdotool(clickAt + QStringList{"1"});
        QVERIFY(waitUntil([] { return visiblePanel().has_value(); }));
        QTest::qWait(QApplication::doubleClickInterval() + 100); // two clicks, not a double click
        xdotool(clickAt + QStringList{"1"});
        QVERIFY(waitUntil([] { return !visiblePanel(); }));
        QVERIFY(trayIcon().has_value()); // still there after the panel hid all our windows

        const auto menus = [&] {
            int count = 0;
            for (const Window &w : ourWindows())
                count += w.id != icon->id && w.geometry.width() > 40 && w.geometry.size() != panelSize;
            return count;
        };
        xdotool(clickAt + QStringList{"3"});
        QVERIFY(waitUntil([&] { return menus() == 1; }));
        QVERIFY(!visiblePanel());
        xdotool({"key", "Escape"});
        QVERIFY(waitUntil([&] { return menus() == 0; }));
        QVERIFY(!visiblePanel());
    }

    void secondCopyShowsThePanelAndEnds()
    {
        for (const QStringList &arguments : {QStringList{}, QStringList{"--toggle"}}) {
            QCOMPARE(m_app.command(arguments).exitCode, 0);
            // Plain start shows the running program's panel; --toggle hides it.
            QVERIFY(waitUntil([&] { return visiblePanel().has_value() == arguments.isEmpty(); }));
            QVERIFY(m_app.isRunning());
        }
    }

    // Over a backdrop of our own: the rounded corners show the backdrop,
    // never black; without a compositor they are a 1-bit shape, with one
    // they are smoothed with alpha, and the panel, still 720 x 460, casts a
    // shadow. Where no blur is granted (picom) the backdrop hardly shows
    // through the panel.
    void cornersAndShadowWithAndWithoutACompositor()
    {
        if (QStandardPaths::findExecutable("picom").isEmpty())
            QSKIP("picom is not installed");
        QWidget backdrop(nullptr, Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
        backdrop.setStyleSheet("background: #c040c0");
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        backdrop.setGeometry(screen.adjusted(100, 100, -100, -100));
        backdrop.show();
        QVERIFY(QTest::qWaitForWindowExposed(&backdrop));
        const QColor ground(0xc0, 0x40, 0xc0);
        const auto plain = [](const QColor &c, const QColor &backdrop) {
            return std::abs(c.red() - backdrop.red()) + std::abs(c.green() - backdrop.green())
                       + std::abs(c.blue() - backdrop.blue()) < 24;
        };
        // Compositors' shadows differ in depth (picom 12's is fainter than
        // 9's): a shadow is the backdrop darkened, its hue kept.
        const auto shadowed = [](const QColor &c, const QColor &backdrop) {
            return c.value() * 100 < backdrop.value() * 96 && c.red() > c.green() + 40 && c.blue() > c.green() + 40;
        };
        // The cut-off corner and a point just below the panel, both plain
        // backdrop, or both backdrop in shadow (the shadow following the
        // rounded shape into the corner rather than leaving it clear),
        // judged against the backdrop far from the panel in the same picture.
        const auto both = [&](const QRect &panel, const std::function<bool(const QColor &, const QColor &)> &is) {
            const QImage image = screenshot();
            const QColor far = image.pixelColor(backdrop.geometry().topLeft() + QPoint(8, 8));
            return plain(far, ground) && is(image.pixelColor(panel.topLeft() + QPoint(1, 1)), far)
                   && is(image.pixelColor(panel.center().x(), panel.bottom() + 6), far);
        };
        // Of the pixels the 18-pixel corner's outline just grazes (centres
        // up to a quarter pixel outside it), those that blend the magenta
        // ground with the panel's grey, told by hue: ground, shadowed or not,
        // keeps its red three times its green, the panel has them about
        // equal. A 1-bit shape leaves them all ground; antialiasing blends.
        const auto blendedCorner = [](const QImage &image, const QRect &panel) {
            int grazed = 0;
            int blended = 0;
            for (int y = 0; y < 18; ++y)
                for (int x = 0; x < 18; ++x) {
                    const qreal d = std::hypot(18 - (x + 0.5), 18 - (y + 0.5));
                    if (d < 18 || d > 18.25)
                        continue;
                    ++grazed;
                    const QColor c = image.pixelColor(panel.left() + x, panel.top() + y);
                    blended += c.green() > 0 && c.red() < 2.95 * c.green();
                }
            return std::pair(blended, grazed);
        };

        QVERIFY(openPanel());
        QVERIFY(waitUntil([&] { return both(visiblePanel()->geometry, plain); }));
        QCOMPARE(blendedCorner(screenshot(), visiblePanel()->geometry).first, 0);
        xdotool({"key", "Escape"});
        QVERIFY(panelHidesAndTargetIsActive());

        QProcess compositor;
        compositor.start("picom", {"--backend", "xrender", "--shadow", "--no-fading-openclose"});
        QVERIFY(compositor.waitForStarted(3000));
        // The panel decides its corners as it shows: only once picom runs.
        QVERIFY(waitUntil([] { return output("xwininfo", {"-root", "-children"}).contains("\"picom\""); }));
        QVERIFY(openPanel());
        const QRect panel = visiblePanel()->geometry;
        QCOMPARE(panel.size(), panelSize);
        QVERIFY(waitUntil([&] { return both(panel, shadowed); }));
        const QImage image = screenshot();
        const auto [blended, grazed] = blendedCorner(image, panel);
        QVERIFY2(blended * 2 >= grazed, qPrintable(QStringLiteral("%1 of %2").arg(blended).arg(grazed)));
        // picom blurs nothing: the panel's dark ground shows almost no magenta.
        const QColor inside = image.pixelColor(panel.left() + 2, panel.center().y());
        QVERIFY2(inside.red() - inside.green() <= 5 && inside.value() < 60, qPrintable(inside.name()));

        compositor.terminate();
        QVERIFY(compositor.waitForFinished(5000));
    }

    void quitEndsTheProgramWithItsHistory()
    {
        QCOMPARE(m_app.command({"--quit"}).exitCode, 0);
        QVERIFY(m_app.ended());
        QCOMPARE(m_app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app.process().exitCode(), 0);
        // Saved newest first: each paste moved its row to the top.
        QCOMPARE(texts(m_app.history()), (QStringList{"third clip", "second clip", "first clip"}));

        // Nothing runs now: --quit says so and succeeds.
        QCOMPARE(m_app.command({"--quit"}).exitCode, 0);
    }

private:
    bool openPanel()
    {
        xdotool({"key", "super+shift+v"});
        return waitUntil([] { return visiblePanel().has_value(); })
               && waitUntil([] { return activeWindow() == visiblePanel()->id; });
    }

    bool panelHidesAndTargetIsActive()
    {
        return waitUntil([] { return !visiblePanel(); })
               && waitUntil([&] { return activeWindow() == m_target.winId(); });
    }

    static QImage screenshot() { return QImage::fromData(run("import", {"-window", "root", "png:-"}).out, "PNG"); }

    App m_app;
    PasteTarget m_target;
};

QTEST_MAIN(TestX11AppEndToEnd)
#include "tst_x11_app_e2e.moc"
