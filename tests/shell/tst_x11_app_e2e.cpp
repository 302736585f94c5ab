// The built program on a real X server with a window manager and a tray:
// copy, open with the global key, paste into another window, the tray icon,
// a second copy of the program and --quit.
#include "hud_panel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

namespace {

constexpr int waitMs = 8000;

// Polls with the event loop running (this process owns the target window
// and must answer the clipboard requests of a paste).
template<typename Check>
bool waitUntil(Check check, int timeoutMs = waitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!check()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(20);
    }
    return true;
}

QString run(const QString &program, const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(3000))
        return {};
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

QString xdotool(const QStringList &arguments)
{
    return run(QStringLiteral("xdotool"), arguments);
}

struct WindowInfo
{
    quint64 id = 0;
    QRect geometry;
    bool viewable = false;
};

// Our top-level windows (class "tavorindle"), from the server's own tree.
QList<WindowInfo> ourWindows()
{
    static const QRegularExpression line(
        QStringLiteral(R"(^\s*(0x[0-9a-f]+) .*\("tavorindle" "Tavorindle"\)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+))"));
    QList<WindowInfo> result;
    const QString tree = run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    for (const QString &text : tree.split(u'\n')) {
        const auto match = line.match(text);
        if (!match.hasMatch())
            continue;
        WindowInfo info;
        info.id = match.captured(1).toULongLong(nullptr, 16);
        info.geometry = QRect(match.captured(6).toInt(), match.captured(7).toInt(),
                              match.captured(2).toInt(), match.captured(3).toInt());
        const QString details = run(QStringLiteral("xwininfo"),
                                    {QStringLiteral("-id"), QString::number(info.id)});
        info.viewable = details.contains(QStringLiteral("IsViewable"));
        result.append(info);
    }
    return result;
}

std::optional<WindowInfo> visiblePanel()
{
    for (const WindowInfo &window : ourWindows()) {
        if (window.viewable && window.geometry.size() == HUDPanel::panelSize)
            return window;
    }
    return std::nullopt;
}

// Our window inside the tray: a small one that is not the panel.
std::optional<WindowInfo> trayIcon()
{
    for (const WindowInfo &window : ourWindows()) {
        if (window.viewable && window.geometry.width() <= 64 && window.geometry.height() <= 64
            && window.geometry.width() > 4)
            return window;
    }
    return std::nullopt;
}

quint64 activeWindow()
{
    return xdotool({QStringLiteral("getactivewindow")}).toULongLong();
}

} // namespace

class TestX11AppEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void hotKeyOpensACentredPanelOnTop();
    void escapeGivesTheFocusBack();
    void returnPastesTheSelectedRow();
    void ctrlDigitPastesThatRow();
    void trayIconTogglesAndOpensItsMenu();
    void secondCopyShowsThePanelAndEnds();
    void quitEndsTheProgramWithItsHistory();

private:
    void copy(const QString &text);
    bool openPanel();
    void focusTarget();
    QString historyText() const;

    QTemporaryDir m_data;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_environment;
    QProcess m_app;
    QWidget m_target;
    QLineEdit *m_field = nullptr;
};

void TestX11AppEndToEnd::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X display");
    for (const char *tool : {"xdotool", "xclip", "xwininfo"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("needs %1").arg(QLatin1String(tool))));
    }
    QVERIFY(QFile::exists(QStringLiteral(TAVORINDLE_BINARY)));
    QFile::setPermissions(m_runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_data.path());
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtime.path());
    m_environment.insert(QStringLiteral("TAVORINDLE_TRACE"), QStringLiteral("1"));
    m_environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    m_app.setProcessEnvironment(m_environment);
    m_app.start(QStringLiteral(TAVORINDLE_BINARY), {});
    QVERIFY(m_app.waitForStarted(5000));
    QByteArray errors;
    QVERIFY2(waitUntil([&] {
                 errors += m_app.readAllStandardError();
                 return errors.contains("tavorindle-trace ready");
             }),
             errors.constData());

    m_target.setWindowTitle(QStringLiteral("tavorindle-e2e-target"));
    auto *layout = new QVBoxLayout(&m_target);
    m_field = new QLineEdit;
    layout->addWidget(m_field);
    m_target.resize(400, 80);
    m_target.move(20, 600);
    m_target.show();
    QVERIFY(QTest::qWaitForWindowExposed(&m_target));

    copy(QStringLiteral("first clip"));
    copy(QStringLiteral("second clip"));
    copy(QStringLiteral("third clip"));
}

void TestX11AppEndToEnd::cleanupTestCase()
{
    if (m_app.state() != QProcess::NotRunning) {
        m_app.terminate();
        if (!m_app.waitForFinished(5000))
            m_app.kill();
        m_app.waitForFinished(2000);
    }
}

void TestX11AppEndToEnd::init()
{
    QVERIFY(m_app.state() == QProcess::Running);
    if (visiblePanel())
        xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    QVERIFY(waitUntil([] { return !visiblePanel(); }));
    m_field->clear();
    focusTarget();
}

void TestX11AppEndToEnd::copy(const QString &text)
{
    run(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard")},
        text.toUtf8());
    QVERIFY2(waitUntil([&] { return historyText().contains(text); }), qPrintable(text));
}

QString TestX11AppEndToEnd::historyText() const
{
    QFile file(m_data.path() + QStringLiteral("/Tavorindle/history.json"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void TestX11AppEndToEnd::focusTarget()
{
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
             QString::number(m_target.winId())});
    QVERIFY(waitUntil([&] { return activeWindow() == m_target.winId(); }));
}

bool TestX11AppEndToEnd::openPanel()
{
    xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")});
    return waitUntil([] { return visiblePanel().has_value(); })
           && waitUntil([] { return activeWindow() == visiblePanel()->id; });
}

void TestX11AppEndToEnd::hotKeyOpensACentredPanelOnTop()
{
    QVERIFY(openPanel());
    const WindowInfo panel = *visiblePanel();
    QCOMPARE(panel.geometry.size(), QSize(720, 460));
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(panel.geometry, HUDPanel::centredGeometry(area, HUDPanel::panelSize));
    const QString state = run(QStringLiteral("xprop"),
                              {QStringLiteral("-id"), QString::number(panel.id),
                               QStringLiteral("_NET_WM_STATE")});
    QVERIFY2(state.contains(QStringLiteral("_NET_WM_STATE_ABOVE")), qPrintable(state));

    // The same key again hides it and hands the focus back.
    xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")});
    QVERIFY(waitUntil([] { return !visiblePanel(); }));
    QVERIFY(waitUntil([&] { return activeWindow() == m_target.winId(); }));
}

void TestX11AppEndToEnd::escapeGivesTheFocusBack()
{
    QVERIFY(openPanel());
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    QVERIFY(waitUntil([] { return !visiblePanel(); }));
    QVERIFY(waitUntil([&] { return activeWindow() == m_target.winId(); }));
    QVERIFY(m_field->text().isEmpty());
}

void TestX11AppEndToEnd::returnPastesTheSelectedRow()
{
    QVERIFY(openPanel());
    // Rows: third, second, first. Down selects the second row.
    xdotool({QStringLiteral("key"), QStringLiteral("Down")});
    xdotool({QStringLiteral("key"), QStringLiteral("Return")});
    QVERIFY(waitUntil([] { return !visiblePanel(); }));
    QVERIFY(waitUntil([&] { return m_field->text() == QStringLiteral("second clip"); }));
    QCOMPARE(activeWindow(), quint64(m_target.winId()));
}

void TestX11AppEndToEnd::ctrlDigitPastesThatRow()
{
    QVERIFY(openPanel());
    // The last paste moved "second clip" to the top: second, third, first.
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+2")});
    QVERIFY(waitUntil([] { return !visiblePanel(); }));
    QVERIFY(waitUntil([&] { return m_field->text() == QStringLiteral("third clip"); }));
}

void TestX11AppEndToEnd::trayIconTogglesAndOpensItsMenu()
{
    std::optional<WindowInfo> icon;
    if (!waitUntil([&] { return (icon = trayIcon()).has_value(); }, 3000))
        QSKIP("no tray host on this display");
    const QStringList clickAt{QStringLiteral("mousemove"), QStringLiteral("--window"),
                              QString::number(icon->id), QStringLiteral("8"), QStringLiteral("8")};

    xdotool(clickAt + QStringList{QStringLiteral("click"), QStringLiteral("1")});
    QVERIFY(waitUntil([] { return visiblePanel().has_value(); }));
    QTest::qWait(QApplication::doubleClickInterval() + 100); // two clicks, not a double click
    xdotool(clickAt + QStringList{QStringLiteral("click"), QStringLiteral("1")});
    QVERIFY(waitUntil([] { return !visiblePanel(); }));
    // The icon is still in the tray after the panel hid all our windows.
    QVERIFY(trayIcon().has_value());

    const auto others = [&] {
        QList<WindowInfo> popups;
        for (const WindowInfo &w : ourWindows()) {
            if (w.viewable && w.id != icon->id && w.geometry.width() > 40
                && w.geometry.size() != HUDPanel::panelSize)
                popups.append(w);
        }
        return popups;
    };
    xdotool(clickAt + QStringList{QStringLiteral("click"), QStringLiteral("3")});
    QVERIFY(waitUntil([&] { return others().size() == 1; }));
    QVERIFY(!visiblePanel());
    xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
    QVERIFY(waitUntil([&] { return others().isEmpty(); }));
    QVERIFY(!visiblePanel());
}

void TestX11AppEndToEnd::secondCopyShowsThePanelAndEnds()
{
    QProcess second;
    second.setProcessEnvironment(m_environment);
    second.start(QStringLiteral(TAVORINDLE_BINARY), {});
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(waitUntil([] { return visiblePanel().has_value(); }));
    QVERIFY(m_app.state() == QProcess::Running);

    // --toggle hides it again.
    second.start(QStringLiteral(TAVORINDLE_BINARY), {QStringLiteral("--toggle")});
    QVERIFY(second.waitForFinished(5000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(waitUntil([] { return !visiblePanel(); }));
}

void TestX11AppEndToEnd::quitEndsTheProgramWithItsHistory()
{
    QProcess quit;
    quit.setProcessEnvironment(m_environment);
    quit.start(QStringLiteral(TAVORINDLE_BINARY), {QStringLiteral("--quit")});
    QVERIFY(quit.waitForFinished(5000));
    QCOMPARE(quit.exitCode(), 0);
    QVERIFY(m_app.waitForFinished(5000));
    QCOMPARE(m_app.exitStatus(), QProcess::NormalExit);
    QCOMPARE(m_app.exitCode(), 0);
    const QString history = historyText();
    for (const char *text : {"first clip", "second clip", "third clip"})
        QVERIFY2(history.contains(QLatin1String(text)), text);
    // The first entry is the last one pasted.
    QVERIFY(history.indexOf(QStringLiteral("third clip")) < history.indexOf(QStringLiteral("first clip")));

    // Nothing runs now: --quit says so and succeeds.
    quit.start(QStringLiteral(TAVORINDLE_BINARY), {QStringLiteral("--quit")});
    QVERIFY(quit.waitForFinished(5000));
    QCOMPARE(quit.exitCode(), 0);
}

QTEST_MAIN(TestX11AppEndToEnd)
#include "tst_x11_app_e2e.moc"
