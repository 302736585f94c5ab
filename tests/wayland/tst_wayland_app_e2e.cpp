// The program installed and run in headless sway as sway's own user, as a
// session would start it: what native Wayland programs copy is recorded,
// concealed copies are never read, sway's key binding for
// "tavorindle --toggle" opens the panel, Return pastes into the window that
// had the focus, and the history file says the same.
#include "app_process.h"
#include "wayland_test_tools.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace WaylandTestTools;

namespace {

const QSize panelSize(720, 460);

// Our panel in sway's tree, when it is shown.
std::optional<QJsonObject> findPanel(const QJsonObject &node)
{
    const QJsonObject properties = node.value(QLatin1String("window_properties")).toObject();
    const QJsonObject rect = node.value(QLatin1String("rect")).toObject();
    if (properties.value(QLatin1String("class")).toString().compare(QLatin1String("tavorindle"), Qt::CaseInsensitive) == 0
        && node.value(QLatin1String("visible")).toBool() && rect.value(QLatin1String("width")).toInt() >= panelSize.width())
        return node;
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue &child : node.value(QLatin1String(children)).toArray()) {
            if (auto found = findPanel(child.toObject()))
                return found;
        }
    }
    return std::nullopt;
}

bool hasFocusedAppId(const QJsonObject &node, const QString &appId)
{
    if (node.value(QLatin1String("focused")).toBool() && node.value(QLatin1String("app_id")).toString() == appId)
        return true;
    for (const char *children : {"nodes", "floating_nodes"}) {
        for (const QJsonValue &child : node.value(QLatin1String(children)).toArray()) {
            if (hasFocusedAppId(child.toObject(), appId))
                return true;
        }
    }
    return false;
}

using AppProcess::waitUntil;

} // namespace

class TestWaylandAppEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void copiesAreRecordedWithTheirKind();
    void concealedCopyIsNeverRead();
    void boundKeyOpensTheCentredPanelAndEscapeGivesTheFocusBack();
    void returnPastesTheSelectedRowIntoThePreviousWindow();
    void quitLeavesTheHistoryFile();

private:
    QJsonObject tree() { return QJsonDocument::fromJson(m_sway->swaymsg({"-t", "get_tree", "-r"})).object(); }
    std::optional<QJsonObject> panel() { return findPanel(tree()); }
    bool targetFocused() { return hasFocusedAppId(tree(), QStringLiteral("paste-target")); }
    // Each wtype makes a keyboard of its own, and sway drops keys sent
    // through a keyboard made just before: it waits a moment first.
    bool type(const QStringList &arguments)
    {
        return run("wtype", QStringList{"-s", "150"} + arguments, m_sway->environment());
    }
    bool copy(const QString &text);
    QByteArray history() const;
    bool openPanel();
    bool panelHidesAndTargetIsFocused();

    QTemporaryDir m_install;
    QString m_binary;
    std::unique_ptr<HeadlessSway> m_sway;
    std::unique_ptr<Program> m_target;
};

void TestWaylandAppEndToEnd::initTestCase()
{
    for (const char *tool : {"wl-copy", "wl-paste", "wtype", "swaymsg"})
        QVERIFY2(!QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty(), tool);
    // Installed where sway's user can run it.
    ::chmod(QFile::encodeName(m_install.path()).constData(), 0755);
    m_binary = m_install.filePath(QStringLiteral("tavorindle"));
    QVERIFY(QFile::copy(QStringLiteral(TAVORINDLE_BINARY), m_binary));
    const QByteArray binary = QFile::encodeName(m_binary);
    m_sway = std::make_unique<HeadlessSway>("bindsym Mod4+Shift+v exec " + binary + " --toggle\n"
                                            "exec env TAVORINDLE_TRACE=1 " + binary + "\n");
    QVERIFY2(m_sway->isReady(), qPrintable(m_sway->error()));
    // What sway starts writes to sway's log.
    const auto log = [&] {
        QFile file(m_sway->folder() + QStringLiteral("/sway.log"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QVERIFY2(waitUntil([&] { return log().contains("tavorindle-trace ready"); }, 15000), log().right(3000).constData());

    m_target = std::make_unique<Program>(helperPath("wayland_paste_target"), QStringList{"paste-target"},
                                         m_sway->environment());
    QVERIFY(m_target->waitForLine("focus"));
    for (const char *text : {"first clip", "second clip", "third clip"})
        QVERIFY2(copy(QLatin1String(text)), text);
}

void TestWaylandAppEndToEnd::cleanupTestCase()
{
    if (m_sway && m_sway->isReady())
        m_sway->swaymsg({"exec", m_binary + QStringLiteral(" --quit")});
    m_target.reset();
    m_sway.reset();
}

void TestWaylandAppEndToEnd::init()
{
    if (panel())
        type({"-k", "Escape"});
    QVERIFY(waitUntil([&] { return !panel(); }));
    QVERIFY(waitUntil([&] { return targetFocused(); }));
}

bool TestWaylandAppEndToEnd::copy(const QString &text)
{
    return run(QStringLiteral("wl-copy"), {text}, m_sway->environment())
           && waitUntil([&] { return history().contains(text.toUtf8()); });
}

QByteArray TestWaylandAppEndToEnd::history() const
{
    QFile file(m_sway->folder() + QStringLiteral("/home/.local/share/Tavorindle/history.json"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool TestWaylandAppEndToEnd::openPanel()
{
    if (!type({"-M", "logo", "-M", "shift", "v", "-m", "shift", "-m", "logo"})
        || !waitUntil([&] { return panel() && panel()->value(QLatin1String("focused")).toBool(); }))
        return false;
    return true;
}

bool TestWaylandAppEndToEnd::panelHidesAndTargetIsFocused()
{
    return waitUntil([&] { return !panel(); }) && waitUntil([&] { return targetFocused(); });
}

void TestWaylandAppEndToEnd::copiesAreRecordedWithTheirKind()
{
    QVERIFY(copy(QStringLiteral("https://example.org/page")));
    QVERIFY(copy(QStringLiteral("#ff8800")));
    const QJsonArray items = QJsonDocument::fromJson(history()).array();
    QCOMPARE(items.at(0).toObject().value(QLatin1String("contentTypeRaw")).toString(), QStringLiteral("color"));
    QCOMPARE(items.at(1).toObject().value(QLatin1String("contentTypeRaw")).toString(), QStringLiteral("link"));
}

void TestWaylandAppEndToEnd::concealedCopyIsNeverRead()
{
    Program owner(helperPath("wl_clip_owner"),
                  {"serve", "text/plain;charset=utf-8,x-kde-passwordManagerHint", "b64:" + QByteArray("hunter2").toBase64()},
                  m_sway->environment());
    QVERIFY(owner.waitForLine("ready"));
    // A plain copy after it is recorded: by then the concealed one was seen.
    QVERIFY(copy(QStringLiteral("after the secret")));
    QVERIFY(!history().contains("hunter2"));
    QVERIFY(!owner.printed("receive "));
}

void TestWaylandAppEndToEnd::boundKeyOpensTheCentredPanelAndEscapeGivesTheFocusBack()
{
    QVERIFY(openPanel());
    const QJsonObject rect = panel()->value(QLatin1String("rect")).toObject();
    const QRect geometry(rect.value(QLatin1String("x")).toInt(), rect.value(QLatin1String("y")).toInt(),
                         rect.value(QLatin1String("width")).toInt(), rect.value(QLatin1String("height")).toInt());
    QCOMPARE(geometry.size(), panelSize);
    QCOMPARE(geometry.center(), QRect(0, 0, 1280, 800).center());
    QVERIFY(type({"-k", "Escape"}));
    QVERIFY(panelHidesAndTargetIsFocused());

    // The same key closes it again.
    QVERIFY(openPanel());
    QVERIFY(type({"-M", "logo", "-M", "shift", "v", "-m", "shift", "-m", "logo"}));
    QVERIFY(panelHidesAndTargetIsFocused());
    QVERIFY(!m_target->printed("text "));
}

void TestWaylandAppEndToEnd::returnPastesTheSelectedRowIntoThePreviousWindow()
{
    const QByteArray newest = QJsonDocument::fromJson(history()).array().at(1).toObject()
                                  .value(QLatin1String("rawContent")).toString().toUtf8();
    QVERIFY(openPanel());
    QVERIFY(type({"-k", "Down", "-s", "50", "-k", "Return"}));
    QVERIFY(panelHidesAndTargetIsFocused());
    const auto pasted = m_target->waitForLine("text ");
    QVERIFY(pasted);
    QCOMPARE(QByteArray::fromBase64(pasted->mid(5)), newest);
    QByteArray clipboard;
    QVERIFY(run(QStringLiteral("wl-paste"), {"--no-newline"}, m_sway->environment(), &clipboard));
    QCOMPARE(clipboard, newest);
    // The pasted row moved to the top of the saved history.
    QTRY_COMPARE(QJsonDocument::fromJson(history()).array().at(0).toObject().value(QLatin1String("rawContent"))
                     .toString().toUtf8(),
                 newest);
}

void TestWaylandAppEndToEnd::quitLeavesTheHistoryFile()
{
    const QByteArray before = history();
    m_sway->swaymsg({"exec", m_binary + QStringLiteral(" --quit")});
    // Our copy of the binary lives in a folder of this test's own.
    QVERIFY(waitUntil([&] { return !run(QStringLiteral("pgrep"), {"-f", m_binary}, {}); }));
    const QJsonArray items = QJsonDocument::fromJson(history()).array();
    QCOMPARE(items.size(), 6);
    QCOMPARE(history(), before);
}

QTEST_MAIN(TestWaylandAppEndToEnd)
#include "tst_wayland_app_e2e.moc"
