// The built program on a real X server with a window manager and a tray:
// copy, open with the global key, paste into another window, the tray icon,
// a second copy of the program and --quit.
#include "app_process.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <functional>

namespace {

const QSize panelSize(720, 460);

using AppProcess::waitUntil;

QString run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    return QString::fromLocal8Bit(AppProcess::run(program, arguments, input).out).trimmed();
}

QString xdotool(const QStringList &arguments) { return run("xdotool", arguments); }
quint64 activeWindow() { return xdotool({"getactivewindow"}).toULongLong(); }

struct WindowInfo
{
    quint64 id = 0;
    QRect geometry;
};

// Our viewable top-level windows (class "tavorindle"), from the server's own tree.
QList<WindowInfo> ourWindows()
{
    static const QRegularExpression line(
        R"(^\s*(0x[0-9a-f]+) .*\("tavorindle" "Tavorindle"\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+))");
    QList<WindowInfo> result;
    for (const QString &text : run("xwininfo", {"-root", "-tree"}).split(u'\n')) {
        const auto m = line.match(text);
        if (m.hasMatch()
            && run("xwininfo", {"-id", m.captured(1)}).contains("IsViewable"))
            result.append({m.captured(1).toULongLong(nullptr, 16),
                           QRect(m.captured(6).toInt(), m.captured(7).toInt(),
                                 m.captured(2).toInt(), m.captured(3).toInt())});
    }
    return result;
}

std::optional<WindowInfo> visiblePanel()
{
    for (const WindowInfo &window : ourWindows()) {
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
        QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_environment.insert("XDG_DATA_HOME", m_data.path());
        m_environment.insert("XDG_RUNTIME_DIR", m_runtime.path());
        m_environment.insert("TAVORINDLE_TRACE", "1");
        m_environment.remove("QT_QPA_PLATFORM");
        m_app.setProcessEnvironment(m_environment);
        m_app.start(TAVORINDLE_BINARY, {});
        QVERIFY(m_app.waitForStarted(5000));
        QByteArray errors;
        QVERIFY2(waitUntil([&] { return (errors += m_app.readAllStandardError()).contains("tavorindle-trace ready"); }),
                 errors.constData());

        m_target.setWindowTitle("tavorindle-e2e-target");
        (new QVBoxLayout(&m_target))->addWidget(m_field);
        m_target.setGeometry(20, 600, 400, 80);
        m_target.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m_target));
        for (const char *text : {"first clip", "second clip", "third clip"})
            copy(text);
    }

    void cleanupTestCase()
    {
        if (m_app.state() != QProcess::NotRunning) {
            m_app.terminate();
            if (!m_app.waitForFinished(5000))
                m_app.kill();
            m_app.waitForFinished(2000);
        }
    }

    void init()
    {
        QVERIFY(m_app.state() == QProcess::Running);
        if (visiblePanel())
            xdotool({"key", "Escape"});
        QVERIFY(waitUntil([] { return !visiblePanel(); }));
        m_field->clear();
        xdotool({"windowactivate", "--sync", QString::number(m_target.winId())});
        QVERIFY(waitUntil([&] { return activeWindow() == m_target.winId(); }));
    }

    void hotKeyOpensACentredPanelOnTopAndEscapeGivesTheFocusBack()
    {
        QVERIFY(openPanel());
        const WindowInfo panel = *visiblePanel();
        QCOMPARE(panel.geometry.center(), QGuiApplication::primaryScreen()->availableGeometry().center());
        const QString state = run("xprop", {"-id", QString::number(panel.id), "_NET_WM_STATE"});
        QVERIFY2(state.contains("_NET_WM_STATE_ABOVE"), qPrintable(state));
        // On every desktop, with the shadow's tiles offered to the compositor.
        QCOMPARE(run("xprop", {"-id", QString::number(panel.id), "_NET_WM_DESKTOP"}),
                 QString("_NET_WM_DESKTOP(CARDINAL) = 4294967295"));
        QVERIFY(run("xprop", {"-id", QString::number(panel.id), "_KDE_NET_WM_SHADOW"}).contains("CARDINAL"));
        xdotool({"key", "Escape"});
        QVERIFY(panelHidesAndTargetIsActive());

        // The same key toggles it: open, then hidden again with the focus back.
        QVERIFY(openPanel());
        xdotool({"key", "super+shift+v"});
        QVERIFY(panelHidesAndTargetIsActive());
        QVERIFY(m_field->text().isEmpty()); // nothing pasted on the way
    }

    void returnPastesTheSelectedRow()
    {
        QVERIFY(openPanel());
        // Rows: third, second, first. Down selects the second row.
        xdotool({"key", "Down"});
        xdotool({"key", "Return"});
        QVERIFY(panelHidesAndTargetIsActive());
        QVERIFY(waitUntil([&] { return m_field->text() == "second clip"; }));
        QCOMPARE(run("xclip", {"-selection", "clipboard", "-o"}), QString("second clip"));
    }

    void ctrlDigitPastesThatRow()
    {
        QVERIFY(openPanel());
        // The last paste moved "second clip" to the top: second, third, first.
        xdotool({"key", "ctrl+2"});
        QVERIFY(panelHidesAndTargetIsActive());
        QVERIFY(waitUntil([&] { return m_field->text() == "third clip"; }));
    }

    void trayIconTogglesAndOpensItsMenu()
    {
        // Our small window inside the tray.
        const auto trayIcon = [] {
            for (const WindowInfo &w : ourWindows()) {
                if (w.geometry.width() > 4 && w.geometry.width() <= 64 && w.geometry.height() <= 64)
                    return std::optional(w);
            }
            return std::optional<WindowInfo>();
        };
        std::optional<WindowInfo> icon;
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
            for (const WindowInfo &w : ourWindows())
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
        QProcess second;
        second.setProcessEnvironment(m_environment);
        for (const QStringList &arguments : {QStringList{}, QStringList{"--toggle"}}) {
            second.start(TAVORINDLE_BINARY, arguments);
            QVERIFY(second.waitForFinished(5000));
            QCOMPARE(second.exitStatus(), QProcess::NormalExit);
            QCOMPARE(second.exitCode(), 0);
            // Plain start shows the running program's panel; --toggle hides it.
            QVERIFY(waitUntil([&] { return visiblePanel().has_value() == arguments.isEmpty(); }));
            QVERIFY(m_app.state() == QProcess::Running);
        }
    }

    // Over a backdrop of our own: the rounded corners show the backdrop,
    // never black; with a compositor the panel, still 720 x 460, casts a
    // shadow that follows its shape.
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
        // The cut-off corner and a point just below the panel, both plain
        // ground, or both ground in shadow (the shadow following the rounded
        // shape into the corner rather than leaving it clear).
        const auto both = [](const QRect &panel, const std::function<bool(const QColor &)> &is) {
            const QImage image = screenshot();
            return is(image.pixelColor(panel.topLeft() + QPoint(1, 1)))
                   && is(image.pixelColor(panel.center().x(), panel.bottom() + 6));
        };
        const auto plain = [&](const QColor &c) {
            return std::abs(c.red() - ground.red()) + std::abs(c.green() - ground.green())
                       + std::abs(c.blue() - ground.blue()) < 24;
        };
        const auto shadowed = [&](const QColor &c) {
            return c.value() < ground.value() - 15 && c.red() > c.green() + 40 && c.blue() > c.green() + 40;
        };

        QVERIFY(openPanel());
        QVERIFY(waitUntil([&] { return both(visiblePanel()->geometry, plain); }));
        xdotool({"key", "Escape"});
        QVERIFY(panelHidesAndTargetIsActive());

        QProcess compositor;
        compositor.start("picom", {"--backend", "xrender", "--shadow", "--no-fading-openclose"});
        QVERIFY(compositor.waitForStarted(3000));
        QVERIFY(openPanel());
        const QRect panel = visiblePanel()->geometry;
        QCOMPARE(panel.size(), panelSize);
        QVERIFY(waitUntil([&] { return both(panel, shadowed); }));

        compositor.terminate();
        QVERIFY(compositor.waitForFinished(5000));
    }

    void quitEndsTheProgramWithItsHistory()
    {
        QProcess quit;
        quit.setProcessEnvironment(m_environment);
        quit.start(TAVORINDLE_BINARY, {"--quit"});
        QVERIFY(quit.waitForFinished(5000));
        QCOMPARE(quit.exitCode(), 0);
        QVERIFY(m_app.waitForFinished(5000));
        QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app.exitCode(), 0);
        // Saved newest first: each paste moved its row to the top.
        const QString history = historyText();
        const qsizetype third = history.indexOf("third clip"), second = history.indexOf("second clip");
        QVERIFY2(third >= 0 && third < second && second < history.indexOf("first clip"), qPrintable(history));

        // Nothing runs now: --quit says so and succeeds.
        quit.start(TAVORINDLE_BINARY, {"--quit"});
        QVERIFY(quit.waitForFinished(5000));
        QCOMPARE(quit.exitCode(), 0);
    }

private:
    void copy(const QString &text)
    {
        run("xclip", {"-selection", "clipboard"}, text.toUtf8());
        QVERIFY2(waitUntil([&] { return historyText().contains(text); }), qPrintable(text));
    }

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

    static QImage screenshot()
    {
        QProcess import;
        import.start("import", {"-window", "root", "png:-"});
        if (!import.waitForFinished(10000))
            return {};
        return QImage::fromData(import.readAllStandardOutput(), "PNG");
    }

    QString historyText() const
    {
        QFile file(m_data.path() + "/Tavorindle/history.json");
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir m_data;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
    QProcess m_app;
    QWidget m_target;
    QLineEdit *m_field = new QLineEdit(&m_target);
};

QTEST_MAIN(TestX11AppEndToEnd)
#include "tst_x11_app_e2e.moc"
