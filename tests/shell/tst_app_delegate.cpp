#include "app_delegate.h"
#include "clipboard_manager.h"
#include "hot_key_manager.h"
#include "hud_panel.h"
#include "key_monitor.h"
#include "memory/memory_hot_key_backend.h"
#include "memory/memory_pasteboard.h"
#include "panel_notifications.h"
#include "panel_services.h"
#include "test_support.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <QTimer>

namespace {

// A desktop that logs each call together with what the shell looked like
// at that moment, so that the order of a hide can be read back.
class RecordingWindowSystem final : public WindowSystem
{
public:
    std::function<QString()> snapshot;
    std::function<bool(WindowId)> isPanel;
    QStringList log;
    WindowId active = 0;
    QSet<WindowId> own;

    WindowId activeWindow() override { return active; }
    bool isOwnWindow(WindowId window) override { return own.contains(window) || isPanel(window); }
    void activate(WindowId window) override
    {
        log.append(QStringLiteral("activate %1%2").arg(window).arg(snapshot()));
        active = window;
    }
    std::optional<WindowClass> windowClass(WindowId) override { return std::nullopt; }
    void hideOwnWindows() override { log.append(QStringLiteral("hideOwnWindows") + snapshot()); }
    void requestBlurBehind(WindowId window) override { blurred.append(window); }
    void requestShadow(WindowId window, const Shadow &) override { shadowed.append(window); }
    void showOnAllDesktops(WindowId window) override
    {
        log.append(QStringLiteral("showOnAllDesktops %1%2").arg(isPanel(window)).arg(snapshot()));
    }
    bool compositorActive() override { return composited; }
    bool composited = true;
    QList<WindowId> blurred;
    QList<WindowId> shadowed;
};

// The panel view stand-in: a search field that keys land in.
struct FakeView : QLineEdit
{
    std::function<void()> dismiss;
    int paints = 0;
    void paintEvent(QPaintEvent *event) override
    {
        ++paints;
        QLineEdit::paintEvent(event);
    }
};

struct Shell
{
    explicit Shell(bool launch = false, bool tray = false)
        : hotKeys(backend)
    {
        windows.snapshot = [this] {
            return QStringLiteral(" (panel %1, monitors %2)")
                .arg(delegate->isHUDVisible() ? "shown" : "hidden")
                .arg(delegate->hasKeyMonitor() || delegate->hasOutsideClickMonitor() ? "on" : "off");
        };
        windows.isPanel = [this](WindowSystem::WindowId window) {
            return delegate->hudWindow() && delegate->hudWindow()->winId() == window;
        };
        delegate = std::make_unique<AppDelegate>(AppDelegate::Services{
            *store.manager,
            windows,
            hotKeys,
            notifications,
            [this](std::function<void()> onDismiss) -> QWidget * {
                ++viewsMade;
                itemsWhenViewMade = int(store.manager->items().size());
                view = new FakeView;
                view->dismiss = std::move(onDismiss);
                return view;
            },
            [this](const QUrl &url) { opened.append(url); },
            [this] { ++quits; },
            tray,
        });
        if (launch)
            delegate->applicationDidFinishLaunching();
    }
    // The log of a hide that gives the focus back to `window`.
    static QStringList hideLog(WindowSystem::WindowId window)
    {
        return {QStringLiteral("hideOwnWindows (panel hidden, monitors off)"),
                QStringLiteral("activate %1 (panel hidden, monitors off)").arg(window)};
    }

    TestSupport::StoreFixture store;
    MemoryHotKeyBackend backend;
    HotKeyManager hotKeys;
    RecordingWindowSystem windows;
    PanelNotifications notifications;
    std::unique_ptr<AppDelegate> delegate;
    FakeView *view = nullptr;
    int viewsMade = 0;
    int itemsWhenViewMade = -1;
    QList<QUrl> opened;
    int quits = 0;
};

constexpr WindowSystem::WindowId editor = 4242;
constexpr WindowSystem::WindowId browser = 5151;

} // namespace

// A click in another program once the panel has the focus.
void clickOutside(Shell &shell)
{
    QVERIFY(QTest::qWaitForWindowActive(shell.delegate->hudWindow()));
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
}

// Runs a real event loop, which (unlike QTest's waits) goes idle between
// the checks every 10 ms; true once done() holds, false after 5 s.
bool runLoopUntil(const std::function<bool()> &done)
{
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    check.start(10);
    QTimer::singleShot(5000, &loop, [&] { loop.exit(1); });
    return loop.exec() == 0;
}

class TestAppDelegate : public QObject
{
    Q_OBJECT
private slots:
    void startUpOrder()
    {
        QWidget stray;
        stray.show();
        Shell shell;
        QVERIFY(!shell.store.manager->isObserving());

        shell.delegate->applicationDidFinishLaunching();
        QVERIFY(!stray.isVisible());
        QVERIFY(shell.store.manager->isObserving());
        QCOMPARE(shell.backend.grabs(), QList<QKeyCombination>{HotKeyManager::defaultCombination});
        QVERIFY(shell.hotKeys.isRegistered());
    }

    void panelPreparedWhileIdleAfterStart()
    {
        Shell shell;
        shell.delegate->applicationDidFinishLaunching();
        shell.store.pasteboard->simulateCopy(QStringLiteral("found at start"));
        QVERIFY(!shell.delegate->hudWindow()); // not during the start itself
        // Built, shadowed and painted once offscreen, after the copy that
        // was waiting; hidden, and nothing left scheduled at rest.
        QVERIFY(runLoopUntil([&] { return shell.view && shell.view->paints > 0; }));
        QCOMPARE(shell.itemsWhenViewMade, 1);
        QCOMPARE(shell.windows.shadowed.size(), 1);
        QVERIFY(!shell.delegate->isHUDVisible());
        for (const QTimer *timer : shell.delegate->findChildren<QTimer *>())
            QVERIFY(!timer->isActive());
        // The first show finds it all made.
        shell.delegate->showHUD();
        QCOMPARE(shell.viewsMade, 1);
        QCOMPARE(shell.windows.shadowed.size(), 1);
    }

    void hotKeyTogglesInALaterTurn()
    {
        Shell shell(true);
        shell.backend.press();
        QVERIFY(!shell.delegate->isHUDVisible()); // not inside the key handler
        QTRY_VERIFY(shell.delegate->isHUDVisible());
        shell.backend.press();
        QTRY_VERIFY(!shell.delegate->isHUDVisible());

        // A press, or a dismiss, that arrives after the delegate is gone
        // does nothing.
        shell.delegate->showHUD();
        const std::function<void()> dismiss = shell.view->dismiss;
        shell.backend.press();
        shell.delegate.reset(); // takes the panel and its view with it
        dismiss();
        QCoreApplication::processEvents();
        QVERIFY(!shell.hotKeys.onHotKeyTriggered);
    }

    void previousApp_data()
    {
        QTest::addColumn<quint64>("before");
        QTest::addColumn<quint64>("frontmost");
        QTest::addColumn<bool>("frontmostIsOwn");
        QTest::addColumn<quint64>("expected");
        QTest::newRow("another window is remembered") << quint64(browser) << quint64(editor) << false << quint64(editor);
        QTest::newRow("our own window keeps the earlier one") << quint64(editor) << quint64(777) << true << quint64(editor);
        QTest::newRow("no window clears it") << quint64(editor) << quint64(0) << false << quint64(0);
        QTest::newRow("first show with our own window") << quint64(0) << quint64(777) << true << quint64(0);
    }

    void previousApp()
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
        shell.delegate->showHUD();
        QCOMPARE(shell.delegate->previousApp(), expected);

        shell.windows.log.clear();
        shell.delegate->hideHUD();
        // The hide gives the focus back to it, or to nothing.
        QCOMPARE(shell.windows.log, expected ? Shell::hideLog(expected) : Shell::hideLog(0).mid(0, 1));
        QCOMPARE(shell.delegate->previousApp(), expected); // a hide does not clear it
    }

    void hidePathsAllRunTheSequence_data()
    {
        QTest::addColumn<QString>("path");
        // The hot key and the tray's left click are a toggle (their routing is
        // tested on its own); a click elsewhere hides with the monitors' row.
        for (const char *path : {"Escape", "panel cancel", "window closed", "dismiss", "toggle"})
            QTest::newRow(path) << QString::fromLatin1(path);
    }

    void hidePathsAllRunTheSequence()
    {
        QFETCH(QString, path);
        Shell shell(true);
        shell.windows.active = editor;
        shell.delegate->showHUD();
        QVERIFY(shell.delegate->isHUDVisible());
        // Asked onto every desktop while still hidden (window managers read
        // that when they map it), then shown and active before any monitor
        // starts.
        QCOMPARE(shell.windows.log,
                 (QStringList{QStringLiteral("showOnAllDesktops 1 (panel hidden, monitors off)"),
                              QStringLiteral("activate %1 (panel shown, monitors off)")
                                  .arg(shell.delegate->hudWindow()->winId())}));
        shell.windows.log.clear();

        if (path == "Escape")
            QTest::keyClick(shell.view, Qt::Key_Escape);
        else if (path == "panel cancel")
            QTest::keyClick(shell.delegate->hudWindow(), Qt::Key_Escape);
        else if (path == "window closed")
            shell.delegate->hudWindow()->close();
        else if (path == "dismiss")
            shell.view->dismiss();
        else if (path == "toggle")
            shell.delegate->toggleHUD();

        QTRY_VERIFY(!shell.delegate->isHUDVisible());
        QCoreApplication::processEvents();
        QCOMPARE(shell.windows.log, Shell::hideLog(editor));
        QCOMPARE(KeyMonitor::liveCount(), 0);
    }

    void panelIsMadeOnceCentredAndAnnounced()
    {
        Shell shell;
        QStringList announced; // the view hears of each show before it happens
        connect(&shell.notifications, &PanelNotifications::tavorindleWindowWillShow, this, [&] {
            announced.append(!shell.delegate->hudWindow() ? "no panel"
                             : shell.delegate->isHUDVisible() ? "visible" : "hidden");
        });
        shell.delegate->showHUD();
        HUDPanel *panel = shell.delegate->hudWindow();
        QVERIFY(panel);
        QCOMPARE(panel->size(), QSize(720, 460));
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
        shell.delegate->showHUD(); // shown again while shown: announced again
        QCOMPARE(announced, (QStringList{"no panel", "hidden", "visible"}));
    }

    void oneMonitorOfEachAfterRepeatedShows()
    {
        Shell shell;
        shell.windows.active = editor;
        for (int i = 0; i < 3; ++i)
            shell.delegate->showHUD();
        QCOMPARE(KeyMonitor::liveCount(), 1);
        QVERIFY(shell.delegate->hasOutsideClickMonitor());
        // The panel is made once; its blur and its shadow are asked for
        // once, on its own window.
        QCOMPARE(shell.windows.blurred.size(), 1);
        QVERIFY(shell.windows.isPanel(shell.windows.blurred.first()));
        QCOMPARE(shell.windows.shadowed.size(), 1);
        QVERIFY(shell.windows.isPanel(shell.windows.shadowed.first()));
        // The window has the rounded shape: no corners for black to show in,
        // and compositors draw their shadows around it. Under a compositor
        // it takes in the antialiased edge too; once that has quit, the next
        // show cuts the shape at the outline.
        QWidget *panel = shell.delegate->hudWindow();
        const QPoint edge(2, 8); // just outside the outline at the corner, partly covered
        QVERIFY(panel->mask().contains(edge));
        shell.windows.composited = false;
        shell.delegate->showHUD();
        QVERIFY(!panel->mask().contains(edge));
        QVERIFY(!panel->mask().contains(QPoint(0, 0)));
        QVERIFY(!panel->mask().contains(QPoint(719, 459)));
        QVERIFY(panel->mask().contains(QPoint(360, 230)));
        QVERIFY(panel->mask().contains(QPoint(360, 0)));

        // One outside-click monitor: one hide, one reactivation.
        shell.windows.log.clear();
        clickOutside(shell);
        QVERIFY(shell.delegate->isHUDVisible()); // deferred
        QTRY_VERIFY(!shell.delegate->isHUDVisible());
        QCoreApplication::processEvents();
        QCOMPARE(shell.windows.log, Shell::hideLog(editor));
        QCOMPARE(KeyMonitor::liveCount(), 0);
        QVERIFY(!shell.delegate->hasOutsideClickMonitor());

        // Hidden: the state change no longer hides anything.
        shell.windows.log.clear();
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        QCoreApplication::processEvents();
        QVERIFY(shell.windows.log.isEmpty());
    }

    void translucentOnlyUnderACompositor_data()
    {
        QTest::addColumn<bool>("before");
        QTest::newRow("a compositor starts") << false;
        QTest::newRow("the compositor quits") << true;
    }

    void translucentOnlyUnderACompositor()
    {
        QFETCH(bool, before);
        Shell shell;
        shell.windows.composited = before;
        shell.delegate->showHUD();
        QWidget *panel = shell.delegate->hudWindow();
        QCOMPARE(panel->testAttribute(Qt::WA_TranslucentBackground), before);
        const WindowSystem::WindowId first = panel->winId();
        shell.delegate->hideHUD();

        // A window of the other kind, with its blur and shadow asked for again.
        shell.windows.composited = !before;
        shell.delegate->showHUD();
        QCOMPARE(panel->testAttribute(Qt::WA_TranslucentBackground), !before);
        const WindowSystem::WindowId second = panel->winId();
        QVERIFY(second != first);
        QCOMPARE(shell.windows.blurred, (QList<WindowSystem::WindowId>{first, second}));
        QCOMPARE(shell.windows.shadowed, (QList<WindowSystem::WindowId>{first, second}));

        // Never made anew while it shows.
        shell.windows.composited = before;
        shell.delegate->showHUD();
        QCOMPARE(panel->winId(), second);
        QCOMPARE(panel->testAttribute(Qt::WA_TranslucentBackground), !before);
    }

    void deactivationBeforeThePanelHadTheFocusKeepsIt()
    {
        // The focus loss of a hide reported after the next show (X11 and
        // XWayland report it late) is not a click elsewhere.
        Shell shell;
        shell.windows.active = editor;
        shell.delegate->showHUD();
        emit qApp->applicationStateChanged(Qt::ApplicationInactive);
        QVERIFY(QTest::qWaitForWindowActive(shell.delegate->hudWindow()));
        QCoreApplication::processEvents();
        QVERIFY(shell.delegate->isHUDVisible());
        clickOutside(shell);
        QTRY_VERIFY(!shell.delegate->isHUDVisible());
    }

    void keysReachThePanelNotifications()
    {
        Shell shell;
        shell.delegate->showHUD();
        PanelNotifications &n = shell.notifications;
        QStringList heard;
        connect(&n, &PanelNotifications::tavorindleNavigateUp, this, [&] { heard.append("up"); });
        connect(&n, &PanelNotifications::tavorindleNavigateDown, this, [&] { heard.append("down"); });
        connect(&n, &PanelNotifications::tavorindlePasteSelected, this, [&] { heard.append("paste"); });
        connect(&n, &PanelNotifications::tavorindleQuickPaste, this, [&](int i) { heard.append(QString::number(i)); });

        QLineEdit *field = shell.view;
        for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Return})
            QTest::keyClick(field, key);
        QTest::keyClick(field, Qt::Key_9, Qt::ControlModifier);
        QTest::keyClicks(field, QStringLiteral("hi"));
        QCOMPARE(heard, (QStringList{"down", "down", "up", "paste", "8"}));
        QCOMPARE(field->text(), QStringLiteral("hi"));
        QVERIFY(shell.delegate->isHUDVisible());
        QCOMPARE(shell.quits, 0);
        QTest::keyClick(field, Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(shell.quits, 1);

        // Keys of another window of ours (a menu, say) are not the panel's;
        // hidden, the keys are the field's own.
        QWidget other;
        auto *otherField = new QLineEdit(&other);
        other.show();
        QTest::keyClick(otherField, Qt::Key_Down);
        QTest::keyClick(otherField, Qt::Key_Escape);
        QVERIFY(shell.delegate->isHUDVisible());
        shell.delegate->hideHUD();
        QTest::keyClick(field, Qt::Key_Down);
        QCOMPARE(heard.size(), 5);
        QCOMPARE(shell.quits, 1);
    }

    void statusMenu()
    {
        Shell shell;
        shell.store.copy(QStringLiteral("keep me"));
        shell.store.copy(QStringLiteral("drop me"));
        shell.store.manager->togglePin(shell.store.manager->items().at(1));

        std::unique_ptr<QMenu> menu(shell.delegate->buildStatusMenu());
        const QList<QAction *> actions = menu->actions();
        // As drawn: the "&" is text, not a mnemonic marker.
        QStringList titles;
        for (QAction *action : actions)
            titles.append(action->isSeparator() ? QStringLiteral("-") : action->iconText());
        QCOMPARE(titles, (QStringList{"Open Tavorindle", "-", "Clear Unpinned History",
                                      "Website & Documentation", "-", "Quit Tavorindle"}));
        QCOMPARE(actions[5]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

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

    void trayClicks()
    {
        // A right click opens a fresh menu, leaves the panel alone, and the
        // menu is thrown away once closed. (Which click does what is the
        // status icon's test; a left click's toggle is the X11 one's.)
        Shell shell;
        shell.delegate->statusItemClicked(QSystemTrayIcon::Context);
        QMenu *menu = nullptr;
        QTRY_VERIFY((menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())));
        QVERIFY(!shell.delegate->isHUDVisible());
        QCOMPARE(menu->actions().size(), 6);
        QPointer<QMenu> watched(menu);
        menu->close();
        QTRY_VERIFY(!watched);
    }

    // The tray glyph takes the palette's text colour, also after a theme
    // switched at run time.
    void trayIconFollowsThePalette()
    {
        const QPalette before = QApplication::palette();
        const auto glyphIs = [](QSystemTrayIcon *tray, const QColor &colour) {
            const QImage image = tray->icon().pixmap(QSize(18, 18)).toImage();
            int opaque = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    opaque += image.pixelColor(x, y).alpha() == 255 && image.pixelColor(x, y).rgb() == colour.rgb();
            return opaque > 10;
        };
        QPalette palette = before;
        palette.setColor(QPalette::WindowText, Qt::black);
        QApplication::setPalette(palette);
        Shell shell(true, true);
        QSystemTrayIcon *tray = shell.delegate->statusItem();
        QVERIFY(tray);
        QVERIFY(glyphIs(tray, Qt::black));
        palette.setColor(QPalette::WindowText, Qt::white);
        QApplication::setPalette(palette);
        QVERIFY(glyphIs(tray, Qt::white));
        QApplication::setPalette(before);
    }

    void centredGeometry_data()
    {
        QTest::addColumn<QRect>("area");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("second screen") << QRect(1920, 0, 2560, 1440) << QRect(2840, 490, 720, 460);
        QTest::newRow("below a top panel") << QRect(0, 24, 1280, 776) << QRect(280, 182, 720, 460);
        QTest::newRow("too small keeps the top left") << QRect(10, 20, 640, 400) << QRect(10, 20, 720, 460);
    }

    void centredGeometry()
    {
        QFETCH(QRect, area);
        QFETCH(QRect, expected);
        QCOMPARE(HUDPanel::centredGeometry(area, HUDPanel::panelSize), expected);
    }
};

QTEST_MAIN(TestAppDelegate)
#include "tst_app_delegate.moc"
