// The program installed and run in headless sway as sway's own user, as a
// session would start it: what native Wayland programs copy is recorded,
// sway's key binding for "tavorindle --toggle" opens the panel, Return
// pastes into the window that had the focus, and the history file says the
// same.
#include "test_support.h"
#include "wayland_test_tools.h"

#include <QDir>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTest>

#include <sys/stat.h>

using namespace WaylandTestTools;
using AppProcess::waitUntil;

namespace {

const QSize panelSize(720, 460);
const QStringList toggleKey{"-M", "logo", "-M", "shift", "v", "-m", "shift", "-m", "logo"};

} // namespace

class TestWaylandAppEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        for (const char *tool : {"wl-copy", "wl-paste", "wtype", "swaymsg"})
            QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(), tool);
        // Installed where sway's user can run it.
        ::chmod(QFile::encodeName(m_install.path()).constData(), 0755);
        m_binary = m_install.filePath(QStringLiteral("bin/tavorindle"));
        // The program module it loads, where it looks for it.
        const QString module = QFileInfo(m_binary).dir().filePath(
            QFileInfo(TAVORINDLE_BINARY).dir().relativeFilePath(TAVORINDLE_PROGRAM_MODULE));
        for (const auto &[from, to] : {std::pair{QStringLiteral(TAVORINDLE_BINARY), m_binary},
                                       std::pair{QStringLiteral(TAVORINDLE_PROGRAM_MODULE), module}}) {
            QVERIFY(QDir().mkpath(QFileInfo(to).path()));
            QVERIFY(QFile::copy(from, to));
        }
        const QByteArray binary = QFile::encodeName(m_binary);
        m_sway = std::make_unique<HeadlessSway>("bindsym Mod4+Shift+v exec " + binary + " --toggle\n"
                                                "exec env TAVORINDLE_TRACE=1 " + binary + "\n");
        QVERIFY2(m_sway->isReady(), qPrintable(m_sway->error()));
        QVERIFY2(waitUntil([&] { return log().contains("tavorindle-trace ready"); }, 15000), log().right(3000).constData());

        m_target = std::make_unique<HelperProcess>(WAYLAND_WINDOW, QStringList{"paste-target"}, m_sway->environment);
        QVERIFY(m_target->waitForLine("focus"));
        for (const char *text : {"first clip", "second clip", "third clip"})
            QVERIFY2(copy(QLatin1String(text)), text);
    }

    void cleanupTestCase()
    {
        if (m_sway && m_sway->isReady())
            m_sway->swaymsg({"exec", m_binary + QStringLiteral(" --quit")});
        m_target.reset();
        m_sway.reset();
    }

    void init()
    {
        if (panel())
            type({"-k", "Escape"});
        QVERIFY(panelHidesAndTargetIsFocused());
    }

    void boundKeyOpensTheCentredPanelAndEscapeGivesTheFocusBack()
    {
        QVERIFY(openPanel());
        const QJsonObject rect = (*panel())["rect"].toObject();
        const QRect geometry(rect["x"].toInt(), rect["y"].toInt(), rect["width"].toInt(), rect["height"].toInt());
        QCOMPARE(geometry.size(), panelSize);
        QCOMPARE(geometry.center(), QRect(0, 0, 1280, 800).center());
        QVERIFY(type({"-k", "Escape"}));
        QVERIFY(panelHidesAndTargetIsFocused());

        // The same key closes it again.
        QVERIFY(openPanel());
        QVERIFY(type(toggleKey));
        QVERIFY(panelHidesAndTargetIsFocused());
        QVERIFY(!m_target->printed("text "));
    }

    void returnPastesTheSelectedRowIntoThePreviousWindow()
    {
        const QString second = history().at(1);
        QVERIFY(openPanel());
        QVERIFY(type({"-k", "Down", "-s", "50", "-k", "Return"}));
        QVERIFY(panelHidesAndTargetIsFocused());
        const auto pasted = m_target->waitForLine("text ");
        QVERIFY(pasted);
        QCOMPARE(QByteArray::fromBase64(pasted->mid(5)), second.toUtf8());
        QCOMPARE(AppProcess::run("wl-paste", {"--no-newline"}, {}, m_sway->environment).out, second.toUtf8());
        // The pasted row moved to the top of the saved history.
        QTRY_COMPARE(history().value(0), second);
    }

    void theFirstShowFindsItsBufferWrittenAndNeedsNoGl_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QByteArray>("platform");
        QTest::newRow("through XWayland") << QStringLiteral("env TAVORINDLE_TRACE=1 ") << QByteArray("libQt6XcbQpa");
        // As where no XWayland runs.
        QTest::newRow("Wayland itself") << QStringLiteral("env -u DISPLAY TAVORINDLE_TRACE=1 ")
                                        << QByteArray("libQt6WaylandClient");
    }

    void theFirstShowFindsItsBufferWrittenAndNeedsNoGl()
    {
        // Each made the first show slower than later ones: the buffer made
        // and first written at the first show, and a GL driver loaded
        // although the panel is painted by the CPU.
        QFETCH(QString, prefix);
        QFETCH(QByteArray, platform);
        // The rows after this one find the program as it was, whatever fails here.
        auto back = qScopeGuard([&] { restart("env TAVORINDLE_TRACE=1 "); });
        const qsizetype prepared = log().count("tavorindle-trace panel-prepared");
        QVERIFY(restart(prefix));
        QVERIFY(waitUntil([&] { return log().count("tavorindle-trace panel-prepared") > prepared; }));
        const QString process = "/proc/" + QString::fromLatin1(AppProcess::run("pgrep", {"-f", "-x", m_binary}).out.trimmed());
        QVERIFY2(TestSupport::readFile(process + "/maps").contains(platform), qPrintable(process));
        const qint64 bufferSize = qint64(panelSize.width()) * panelSize.height() * 4;
        QVERIFY2(residentSharedMemory(process) >= bufferSize,
                 qPrintable(QString("%1 bytes of shared memory in place, the panel needs %2")
                                .arg(residentSharedMemory(process))
                                .arg(bufferSize)));

        const qsizetype painted = log().count("tavorindle-trace panel-painted");
        m_sway->swaymsg({"exec", m_binary + QStringLiteral(" --toggle")});
        QVERIFY(waitUntil([&] { return log().count("tavorindle-trace panel-painted") > painted; }));
        const QByteArray shown = TestSupport::readFile(process + "/maps");
        QVERIFY2(!shown.contains("libEGL_mesa") && !shown.contains("_dri.so"), "a GL driver was loaded");
    }

    void quitLeavesTheHistoryFile()
    {
        const QByteArray before = TestSupport::readFile(historyPath());
        m_sway->swaymsg({"exec", m_binary + QStringLiteral(" --quit")});
        // Our copy of the binary lives in a folder of this test's own.
        QVERIFY(waitUntil([&] { return AppProcess::run("pgrep", {"-f", m_binary}).exitCode != 0; }));
        QCOMPARE(history().size(), 3);
        QCOMPARE(TestSupport::readFile(historyPath()), before);
    }

private:
    // Our panel in sway's tree, when it is shown.
    std::optional<QJsonObject> panel()
    {
        return m_sway->find([](const QJsonObject &node) {
            return node["window_properties"]["class"].toString().compare("tavorindle", Qt::CaseInsensitive) == 0
                   && node["visible"].toBool() && node["rect"]["width"].toInt() >= panelSize.width();
        });
    }
    // Each wtype makes a keyboard of its own, and sway drops keys sent
    // through a keyboard made just before: it waits a moment first.
    bool type(const QStringList &arguments)
    {
        return AppProcess::run("wtype", QStringList{"-s", "150"} + arguments, {}, m_sway->environment).exitCode == 0;
    }
    bool copy(const QString &text)
    {
        return AppProcess::run("wl-copy", {text}, {}, m_sway->environment).exitCode == 0
               && AppProcess::waitForItem(historyPath(), text);
    }
    QString historyPath() const { return m_sway->folder() + "/home/.local/share/Tavorindle/history.json"; }
    QStringList history() const { return AppProcess::texts(AppProcess::readHistory(historyPath())); }
    bool openPanel()
    {
        return type(toggleKey) && waitUntil([&] { return panel() && (*panel())["focused"].toBool(); });
    }
    // Bytes of the process's shared anonymous memory (its window buffers,
    // shared with the display server) that have been written.
    static qint64 residentSharedMemory(const QString &process)
    {
        qint64 total = 0;
        bool shared = false;
        for (const QByteArray &line : TestSupport::readFile(process + "/smaps").split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() >= 5 && fields[0].contains('-'))
                shared = fields[1] == "rw-s" && (line.contains("memfd:") || line.contains("SYSV"));
            else if (shared && fields.value(0) == "Rss:")
                total += fields.value(1).toLongLong() * 1024;
        }
        return total;
    }
    // What sway starts writes to sway's log.
    QByteArray log() const { return TestSupport::readFile(m_sway->folder() + "/sway.log"); }
    // The running program ended and another started with the given prefix.
    bool restart(const QString &prefix)
    {
        m_sway->swaymsg({"exec", m_binary + QStringLiteral(" --quit")});
        if (!waitUntil([&] { return AppProcess::run("pgrep", {"-f", "-x", m_binary}).exitCode != 0; }))
            return false;
        const qsizetype ready = log().count("tavorindle-trace ready");
        m_sway->swaymsg({"exec", prefix + m_binary});
        return waitUntil([&] { return log().count("tavorindle-trace ready") > ready; }, 15000);
    }
    bool panelHidesAndTargetIsFocused()
    {
        return waitUntil([&] { return !panel(); }) && waitUntil([&] { return m_sway->focuses("paste-target"); });
    }

    QTemporaryDir m_install;
    QString m_binary;
    std::unique_ptr<HeadlessSway> m_sway;
    std::unique_ptr<HelperProcess> m_target;
};

QTEST_MAIN(TestWaylandAppEndToEnd)
#include "tst_wayland_app_e2e.moc"
