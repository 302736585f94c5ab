#include "app_delegate.h"
#include "clipboard_manager.h"
#include "hot_key_manager.h"
#include "hud_panel.h"
#include "key_monitor.h"
#include "memory/memory_hot_key_backend.h"
#include "panel_notifications.h"
#include "panel_services.h"
#include "test_support.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

namespace {

// A desktop that logs each call together with what the shell looked like
// at that moment, so that the order of a hide can be read back.
class RecordingWindowSystem final : public WindowSystem
{
public:
    std::function<QString()> snapshot = [] { return QString(); };
    QStringList log;
    WindowId active = 0;
    QSet<WindowId> own;

    WindowId activeWindow() override { return active; }
    bool isOwnWindow(WindowId window) override { return own.contains(window); }
    void activate(WindowId window) override
    {
        log.append(QStringLiteral("activate %1%2").arg(window).arg(snapshot()));
        active = window;
    }
    std::optional<WindowClass> windowClass(WindowId) override { return std::nullopt; }
    void hideOwnWindows() override { log.append(QStringLiteral("hideOwnWindows") + snapshot()); }
};

// The panel view stand-in: a search field that keys land in.
class FakeView : public QWidget
{
public:
    explicit FakeView(std::function<void()> onDismiss) : dismiss(std::move(onDismiss))
    {
        auto *layout = new QVBoxLayout(this);
        layout->addWidget(field);
    }
    std::function<void()> dismiss;
    QLineEdit *field = new QLineEdit;
};

struct Shell
{
    explicit Shell()
        : hotKeys(backend)
    {
        windows.snapshot = [this] {
            return QStringLiteral(" (panel %1, monitors %2)")
                .arg(delegate->isHUDVisible() ? "shown" : "hidden")
                .arg(delegate->hasKeyMonitor() || delegate->hasOutsideClickMonitor() ? "on" : "off");
        };
        delegate = std::make_unique<AppDelegate>(AppDelegate::Services{
            *store.manager,
            windows,
            hotKeys,
            notifications,
            [this](std::function<void()> onDismiss) -> QWidget * {
                ++viewsMade;
                view = new FakeView(std::move(onDismiss));
                return view;
            },
            [this](const QUrl &url) { opened.append(url); },
            [this] { ++quits; },
            false,
        });
    }

    TestSupport::StoreFixture store;
    MemoryHotKeyBackend backend;
    HotKeyManager hotKeys;
    RecordingWindowSystem windows;
    PanelNotifications notifications;
    std::unique_ptr<AppDelegate> delegate;
    FakeView *view = nullptr;
    int viewsMade = 0;
    QList<QUrl> opened;
    int quits = 0;
};

constexpr WindowSystem::WindowId editor = 4242;
constexpr WindowSystem::WindowId browser = 5151;

} // namespace

class TestAppDelegate : public QObject
{
    Q_OBJECT
private slots:
    void startUpOrder();
    void hotKeyTogglesInALaterTurn();
    void previousApp_data();
    void previousApp();
    void hideSequenceOrder();
    void hidePathsAllRunTheSequence_data();
    void hidePathsAllRunTheSequence();
    void willShowComesFirst();
    void panelIsMadeOnceAndCentred();
    void oneMonitorOfEachAfterRepeatedShows();
    void keysReachThePanelNotifications();
    void dismissDoesNothingOnceTheDelegateIsGone();
    void statusMenu();
    void trayClicks();
    void centredGeometry_data();
    void centredGeometry();
};

void TestAppDelegate::startUpOrder()
{
    QWidget stray;
    stray.show();
    QVERIFY(stray.isVisible());
    Shell shell;
    QVERIFY(!shell.store.manager->isObserving());
    QCOMPARE(AppDelegate::shared(), shell.delegate.get());

    shell.delegate->applicationDidFinishLaunching();
    QVERIFY(!stray.isVisible());
    QVERIFY(shell.store.manager->isObserving());
    QVERIFY(shell.hotKeys.isRegistered());
    QCOMPARE(shell.backend.grabs(), QList<QKeyCombination>{HotKeyManager::defaultCombination});
    QVERIFY(shell.hotKeys.onHotKeyTriggered);
    QVERIFY(!shell.delegate->hudWindow()); // nothing shown at start

    shell.delegate.reset();
    QCOMPARE(AppDelegate::shared(), nullptr);
}

void TestAppDelegate::hotKeyTogglesInALaterTurn()
{
    Shell shell;
    shell.delegate->applicationDidFinishLaunching();
    shell.backend.press();
    QVERIFY(!shell.delegate->isHUDVisible()); // not inside the key handler
    QTRY_VERIFY(shell.delegate->isHUDVisible());
    shell.backend.press();
    QTRY_VERIFY(!shell.delegate->isHUDVisible());

    // A press that arrives after the delegate is gone does nothing.
    shell.backend.press();
    shell.delegate.reset();
    QCoreApplication::processEvents();
    QVERIFY(!shell.hotKeys.onHotKeyTriggered);
}

void TestAppDelegate::previousApp_data()
{
    QTest::addColumn<quint64>("before");
    QTest::addColumn<quint64>("frontmost");
    QTest::addColumn<bool>("frontmostIsOwn");
    QTest::addColumn<quint64>("expected");

    QTest::newRow("another window is remembered") << quint64(browser) << quint64(editor) << false
                                                  << quint64(editor);
    QTest::newRow("our own window keeps the earlier one")
        << quint64(editor) << quint64(777) << true << quint64(editor);
    QTest::newRow("no window clears it") << quint64(editor) << quint64(0) << false << quint64(0);
    QTest::newRow("first show with our own window")
        << quint64(0) << quint64(777) << true << quint64(0);
}

void TestAppDelegate::previousApp()
{
    QFETCH(quint64, before);
    QFETCH(quint64, frontmost);
    QFETCH(bool, frontmostIsOwn);
    QFETCH(quint64, expected);

    Shell shell;
    if (before) {
        shell.windows.active = before;
        shell.delegate->showHUD();
        shell.delegate->hideHUD();
        QCOMPARE(shell.delegate->previousApp(), before);
    }
    shell.windows.active = frontmost;
    if (frontmostIsOwn)
        shell.windows.own.insert(frontmost);
    shell.windows.log.clear();
    shell.delegate->showHUD();
    QCOMPARE(shell.delegate->previousApp(), expected);

    shell.delegate->hideHUD();
    // The hide gives the focus back to it, or to nothing.
    const QStringList activations = shell.windows.log.filter(QStringLiteral("activate ") + QString::number(expected));
    QCOMPARE(activations.size(), expected ? 1 : 0);
    QCOMPARE(shell.delegate->previousApp(), expected); // a hide does not clear it
}

void TestAppDelegate::hideSequenceOrder()
{
    Shell shell;
    shell.windows.active = editor;
    shell.delegate->showHUD();
    QVERIFY(shell.delegate->isHUDVisible());
    const auto panelId = shell.delegate->hudWindow()->winId();
    QCOMPARE(shell.windows.log,
             QStringList{QStringLiteral("activate %1 (panel shown, monitors off)").arg(panelId)});

    shell.windows.log.clear();
    shell.delegate->hideHUD();
    QCOMPARE(shell.windows.log,
             (QStringList{QStringLiteral("hideOwnWindows (panel hidden, monitors off)"),
                          QStringLiteral("activate %1 (panel hidden, monitors off)").arg(editor)}));
}

void TestAppDelegate::hidePathsAllRunTheSequence_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("Escape") << "escape";
    QTest::newRow("panel cancel") << "cancel";
    QTest::newRow("window closed") << "close";
    QTest::newRow("dismiss") << "dismiss";
    QTest::newRow("outside click") << "outside";
    QTest::newRow("hot key") << "hotkey";
    QTest::newRow("toggle") << "toggle";
    QTest::newRow("tray click") << "tray";
}

void TestAppDelegate::hidePathsAllRunTheSequence()
{
    QFETCH(QString, path);
    Shell shell;
    shell.delegate->applicationDidFinishLaunching();
    shell.windows.active = editor;
    shell.delegate->showHUD();
    shell.windows.log.clear();

    if (path == "escape")
        QTest::keyClick(shell.view->field, Qt::Key_Escape);
    else if (path == "cancel")
        QTest::keyClick(shell.delegate->hudWindow(), Qt::Key_Escape);
    else if (path == "close")
        shell.delegate->hudWindow()->close();
    else if (path == "dismiss")
        shell.view->dismiss();
    else if (path == "outside")
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    else if (path == "hotkey")
        shell.backend.press();
    else if (path == "toggle")
        shell.delegate->toggleHUD();
    else if (path == "tray")
        shell.delegate->statusItemClicked(QSystemTrayIcon::Trigger);

    QTRY_VERIFY(!shell.delegate->isHUDVisible());
    QCoreApplication::processEvents();
    QCOMPARE(shell.windows.log,
             (QStringList{QStringLiteral("hideOwnWindows (panel hidden, monitors off)"),
                          QStringLiteral("activate %1 (panel hidden, monitors off)").arg(editor)}));
    QCOMPARE(KeyMonitor::liveCount(), 0);
}

void TestAppDelegate::willShowComesFirst()
{
    Shell shell;
    QStringList seen;
    connect(&shell.notifications, &PanelNotifications::tavorindleWindowWillShow, this, [&] {
        seen.append(shell.delegate->hudWindow()
                        ? (shell.delegate->isHUDVisible() ? "visible" : "hidden")
                        : "no panel");
    });
    shell.delegate->showHUD();
    shell.delegate->hideHUD();
    shell.delegate->showHUD();
    shell.delegate->showHUD(); // shown again while shown: announced again
    QCOMPARE(seen, (QStringList{"no panel", "hidden", "visible"}));
}

void TestAppDelegate::panelIsMadeOnceAndCentred()
{
    Shell shell;
    shell.delegate->showHUD();
    HUDPanel *panel = shell.delegate->hudWindow();
    QVERIFY(panel);
    QCOMPARE(panel->size(), QSize(720, 460));
    QVERIFY(panel->windowFlags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(panel->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(panel->windowType(), Qt::Tool);
    QVERIFY(panel->testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(panel->contentView(), shell.view);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QCOMPARE(panel->geometry().center(), area.center());

    // Moved away, then shown again: the same panel and view, centred again.
    shell.delegate->hideHUD();
    panel->move(3, 4);
    shell.delegate->showHUD();
    QCOMPARE(shell.delegate->hudWindow(), panel);
    QCOMPARE(shell.viewsMade, 1);
    QCOMPARE(panel->geometry().center(), area.center());
}

void TestAppDelegate::oneMonitorOfEachAfterRepeatedShows()
{
    Shell shell;
    shell.windows.active = editor;
    shell.delegate->showHUD();
    shell.delegate->showHUD();
    shell.delegate->showHUD();
    QCOMPARE(KeyMonitor::liveCount(), 1);
    QVERIFY(shell.delegate->hasOutsideClickMonitor());

    // One outside-click monitor: one hide, one reactivation.
    shell.windows.log.clear();
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QVERIFY(shell.delegate->isHUDVisible()); // deferred
    QTRY_VERIFY(!shell.delegate->isHUDVisible());
    QCoreApplication::processEvents();
    QCOMPARE(shell.windows.log.filter("activate").size(), 1);
    QCOMPARE(KeyMonitor::liveCount(), 0);
    QVERIFY(!shell.delegate->hasOutsideClickMonitor());

    // Hidden: the state change no longer hides anything.
    shell.windows.log.clear();
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    QCoreApplication::processEvents();
    QVERIFY(shell.windows.log.isEmpty());
}

void TestAppDelegate::keysReachThePanelNotifications()
{
    Shell shell;
    shell.delegate->showHUD();
    QSignalSpy up(&shell.notifications, &PanelNotifications::tavorindleNavigateUp);
    QSignalSpy down(&shell.notifications, &PanelNotifications::tavorindleNavigateDown);
    QSignalSpy paste(&shell.notifications, &PanelNotifications::tavorindlePasteSelected);
    QSignalSpy quick(&shell.notifications, &PanelNotifications::tavorindleQuickPaste);

    QLineEdit *field = shell.view->field;
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Up);
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_9, Qt::ControlModifier);
    QTest::keyClicks(field, QStringLiteral("hi"));
    QCOMPARE(down.size(), 2);
    QCOMPARE(up.size(), 1);
    QCOMPARE(paste.size(), 1);
    QCOMPARE(quick.size(), 1);
    QCOMPARE(quick.first().first().toInt(), 8);
    QCOMPARE(field->text(), QStringLiteral("hi"));
    QVERIFY(shell.delegate->isHUDVisible());

    QTest::keyClick(field, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(shell.quits, 1);

    // Hidden: no monitor, the keys are the field's own.
    shell.delegate->hideHUD();
    QTest::keyClick(field, Qt::Key_Down);
    QCOMPARE(down.size(), 2);
}

void TestAppDelegate::dismissDoesNothingOnceTheDelegateIsGone()
{
    auto shell = std::make_unique<Shell>();
    shell->delegate->showHUD();
    const std::function<void()> dismiss = shell->view->dismiss;
    shell->delegate.reset(); // takes the panel and its view with it
    dismiss();               // must not touch the dead delegate
    QCOMPARE(AppDelegate::shared(), nullptr);
}

void TestAppDelegate::statusMenu()
{
    Shell shell;
    shell.store.copy(QStringLiteral("keep me"));
    shell.store.copy(QStringLiteral("drop me"));
    shell.store.manager->togglePin(shell.store.manager->items().at(1));

    std::unique_ptr<QMenu> menu(shell.delegate->buildStatusMenu());
    const QList<QAction *> actions = menu->actions();
    QStringList titles;
    for (QAction *action : actions)
        titles.append(action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(titles, (QStringList{"Open Tavorindle", "-", "Clear Unpinned History",
                                  "Website & Documentation", "-", "Quit Tavorindle"}));
    QCOMPARE(actions[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    QCOMPARE(actions[0]->shortcut(), QKeySequence());
    // A fresh menu for every click.
    std::unique_ptr<QMenu> second(shell.delegate->buildStatusMenu());
    QVERIFY(second.get() != menu.get());

    actions[2]->trigger(); // no confirmation
    QCOMPARE(shell.store.manager->items().size(), 1);
    QCOMPARE(shell.store.manager->items().first()->rawContent(), QStringLiteral("keep me"));

    actions[3]->trigger();
    QCOMPARE(shell.opened, QList<QUrl>{productWebsite()});

    actions[0]->trigger();
    QVERIFY(shell.delegate->isHUDVisible());
    actions[0]->trigger();
    QVERIFY(!shell.delegate->isHUDVisible());

    actions[5]->trigger();
    QCOMPARE(shell.quits, 1);
}

void TestAppDelegate::trayClicks()
{
    Shell shell;
    shell.windows.active = editor;
    shell.delegate->statusItemClicked(QSystemTrayIcon::Trigger);
    QVERIFY(shell.delegate->isHUDVisible());

    // A right click opens a menu and leaves the panel alone.
    shell.delegate->statusItemClicked(QSystemTrayIcon::Context);
    QMenu *menu = nullptr;
    QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
    QVERIFY(shell.delegate->isHUDVisible());
    QCOMPARE(menu->actions().size(), 6);
    QPointer<QMenu> watched(menu);
    menu->close();
    QTRY_VERIFY(!watched); // thrown away once closed
    // (The offscreen platform moves the focus to the menu and, once it is
    // closed, nowhere: the panel may then be gone as after an outside click.)
    if (!shell.delegate->isHUDVisible())
        shell.delegate->showHUD();

    shell.delegate->statusItemClicked(QSystemTrayIcon::MiddleClick);
    QVERIFY(shell.delegate->isHUDVisible());
    shell.delegate->statusItemClicked(QSystemTrayIcon::Trigger);
    QVERIFY(!shell.delegate->isHUDVisible());
    shell.delegate->statusItemClicked(QSystemTrayIcon::DoubleClick);
    QVERIFY(shell.delegate->isHUDVisible());
}

void TestAppDelegate::centredGeometry_data()
{
    QTest::addColumn<QRect>("area");
    QTest::addColumn<QRect>("expected");
    QTest::newRow("1280x800") << QRect(0, 0, 1280, 800) << QRect(280, 170, 720, 460);
    QTest::newRow("second screen") << QRect(1920, 0, 2560, 1440) << QRect(1920 + 920, 490, 720, 460);
    QTest::newRow("below a top panel") << QRect(0, 24, 1280, 776) << QRect(280, 182, 720, 460);
    QTest::newRow("odd size") << QRect(0, 0, 1281, 801) << QRect(280, 170, 720, 460);
    QTest::newRow("too small keeps the top left") << QRect(10, 20, 640, 400) << QRect(10, 20, 720, 460);
}

void TestAppDelegate::centredGeometry()
{
    QFETCH(QRect, area);
    QFETCH(QRect, expected);
    QCOMPARE(HUDPanel::centredGeometry(area, HUDPanel::panelSize), expected);
}

QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
