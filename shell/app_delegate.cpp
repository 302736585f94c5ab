#include "app_delegate.h"

#include "clipboard_manager.h"
#include "hot_key_manager.h"
#include "hud_panel.h"
#include "hud_shadow.h"
#include "key_monitor.h"
#include "panel_notifications.h"
#include "panel_services.h"
#include "panel_view.h"
#include "style/panel_menu.h"
#include "status_icon.h"
#include "trace.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QBackingStore>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <QTimer>
#include <QWindow>

AppDelegate::AppDelegate(Services services, QObject *parent)
    : QObject(parent), m_services(std::move(services))
{
}

AppDelegate::~AppDelegate()
{
    stopMonitors();
    m_services.hotKeyManager.onHotKeyTriggered = nullptr;
}

void AppDelegate::applicationDidFinishLaunching()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window != m_hudWindow.get() && window->isVisible())
            window->close();
    }
    m_services.clipboardManager.startObserving();
    if (m_services.useTray)
        createStatusItem();
    QPointer<AppDelegate> weak(this);
    m_services.hotKeyManager.onHotKeyTriggered = [weak] {
        if (weak)
            weak->handleHotKey();
    };
    m_services.hotKeyManager.registerDefaultHotKey();
    Trace::mark("ready");
    whenIdle([this] { prepareHUD(PrepareStep::Build); });
}

void AppDelegate::whenIdle(std::function<void()> work)
{
    // The first time the loop has nothing left to do (a copy found at start
    // has been read), then never again: nothing wakes the program for it.
    auto *dispatcher = QAbstractEventDispatcher::instance();
    if (!dispatcher)
        return;
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this,
                    [this, once, work = std::move(work)] {
                        disconnect(*once);
                        QTimer::singleShot(0, this, work);
                    });
}

void AppDelegate::prepareHUD(PrepareStep step)
{
    // A show came first: it does the work itself.
    if (isHUDVisible())
        return;
    HUDPanel &panel = ensureHUDWindow();
    switch (step) {
    case PrepareStep::Build:
        break;
    case PrepareStep::Shadow:
        updateShadow(panel);
        break;
    case PrepareStep::Paint:
        panel.prepareFirstShow();
        if (QBackingStore *store = panel.backingStore())
            m_services.windowSystem.prepareBuffer(*store, panel.size());
        Trace::mark("panel-prepared");
        return;
    }
    // One step per idle moment: a copy that arrives meanwhile waits for one
    // step at most.
    whenIdle([this, step] { prepareHUD(PrepareStep(int(step) + 1)); });
}

void AppDelegate::handleHotKey()
{
    Trace::mark("hotkey");
    // Out of the key handler: the toggle runs in a later turn of the loop.
    QMetaObject::invokeMethod(this, &AppDelegate::toggleHUD, Qt::QueuedConnection);
}

namespace {

QIcon trayIcon()
{
    return StatusIcon::icon(QGuiApplication::palette().color(QPalette::WindowText));
}

} // namespace

void AppDelegate::createStatusItem()
{
    m_statusItem = new QSystemTrayIcon(trayIcon(), this);
    qApp->installEventFilter(this);
    m_statusItem->setToolTip(QStringLiteral("Tavorindle"));
    // No contextMenu(): the menu is made for each click.
    connect(m_statusItem, &QSystemTrayIcon::activated, this, &AppDelegate::statusItemClicked);
    m_statusItem->show();
}

bool AppDelegate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange && m_statusItem)
        m_statusItem->setIcon(trayIcon());
    return QObject::eventFilter(watched, event);
}

void AppDelegate::statusItemClicked(QSystemTrayIcon::ActivationReason reason)
{
    switch (trayClickAction(reason, QGuiApplication::queryKeyboardModifiers())) {
    case TrayClick::TogglePanel:
        toggleHUD();
        break;
    case TrayClick::OpenMenu:
        popUpStatusMenu();
        break;
    case TrayClick::Ignore:
        break;
    }
}

QMenu *AppDelegate::buildStatusMenu(QWidget *parent)
{
    auto *menu = new PanelMenu(parent);
    menu->addEntry(QStringLiteral("Open Tavorindle"), {}, this, &AppDelegate::toggleHUD);
    menu->addSeparator();
    menu->addEntry(QStringLiteral("Clear Unpinned History"), {}, this,
                   &AppDelegate::clearHistoryAction);
    menu->addEntry(QStringLiteral("Website & Documentation"), {}, this,
                   &AppDelegate::openWebsiteAction);
    menu->addSeparator();
    QAction *quit = menu->addEntry(QStringLiteral("Quit Tavorindle"), {}, this,
                                   &AppDelegate::quitAction);
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Shown in the menu and working while it is open, never a global shortcut.
    quit->setShortcutContext(Qt::WidgetShortcut);
    return menu;
}

void AppDelegate::popUpStatusMenu()
{
    QMenu *menu = buildStatusMenu();
    // Deleted once closed; an action it triggers has already been delivered.
    connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
    menu->popup(QCursor::pos());
}

void AppDelegate::clearHistoryAction()
{
    m_services.clipboardManager.clearUnpinned();
}

void AppDelegate::openWebsiteAction()
{
    const QUrl &url = productWebsite();
    if (url.isValid() && m_services.openUrl)
        m_services.openUrl(url);
}

void AppDelegate::quitAction()
{
    if (m_services.quit)
        m_services.quit();
}

bool AppDelegate::isHUDVisible() const
{
    return m_hudWindow && m_hudWindow->isVisible();
}

void AppDelegate::toggleHUD()
{
    if (isHUDVisible())
        hideHUD();
    else
        showHUD();
}

HUDPanel &AppDelegate::ensureHUDWindow()
{
    if (!m_hudWindow) {
        m_hudWindow = std::make_unique<HUDPanel>();
        QPointer<AppDelegate> weak(this);
        m_hudWindow->onCancel = [weak] {
            if (weak)
                weak->hideHUD();
        };
        if (m_services.makePanelView) {
            m_hudWindow->setContentView(m_services.makePanelView([weak] {
                if (weak)
                    weak->hideHUD();
            }));
        }
        m_hudWindow->setTranslucent(m_services.windowSystem.compositorActive());
        m_services.windowSystem.requestBlurBehind(m_hudWindow->winId());
    }
    return *m_hudWindow;
}

void AppDelegate::showHUD()
{
    WindowSystem &windows = m_services.windowSystem;
    // Read once: our own panel in front keeps the earlier window; nothing in
    // front means there is nothing to go back to.
    const WindowSystem::WindowId front = windows.activeWindow();
    if (front == 0)
        m_previousApp = 0;
    else if (!windows.isOwnWindow(front))
        m_previousApp = front;

    emit m_services.notifications.tavorindleWindowWillShow();

    const bool alreadyShown = isHUDVisible();
    HUDPanel &panel = ensureHUDWindow();
    // Asked at every show: a compositor may have started or quit since.
    const bool composited = windows.compositorActive();
    if (panel.setTranslucent(composited)) {
        windows.requestBlurBehind(panel.winId());
        m_shadowRatio = 0;
    }
    windows.showOnAllDesktops(panel.winId());
    panel.setBackdrop(composited, composited && windows.blursBehind());
    panel.centreOnPointerScreen();
    updateShadow(panel);
    panel.traceNextPaint();
    panel.show();
    panel.raise();
    panel.activateWindow();
    // Window managers that hold back focus requests from programs still
    // obey the one a pager sends.
    windows.activate(panel.winId());

    stopMonitors();
    startMonitors(alreadyShown && m_panelHadFocus);
}

void AppDelegate::updateShadow(HUDPanel &panel)
{
    // The compositor draws the tiles pixel for pixel: made again for a
    // screen of another scale.
    if (const qreal ratio = panel.devicePixelRatioF(); ratio != m_shadowRatio) {
        m_shadowRatio = ratio;
        m_services.windowSystem.requestShadow(
            panel.winId(), HudShadow::tiles(HUDPanel::panelSize, TavorindleView::cornerRadius, ratio));
    }
}

void AppDelegate::hideHUD()
{
    stopMonitors();
    if (m_hudWindow)
        m_hudWindow->hide();
    m_services.windowSystem.hideOwnWindows();
    if (m_previousApp != 0)
        m_services.windowSystem.activate(m_previousApp);
}

void AppDelegate::startMonitors(bool panelKeptFocus)
{
    // Only a panel that has had the focus since it was shown loses it to a
    // click elsewhere. The deactivation of an earlier hide may still be on
    // its way (X reports focus loss late, XWayland later still) and must not
    // close the panel just shown.
    // Its own "active" may itself be stale: only a new activation counts.
    QWindow *panelWindow = m_hudWindow->windowHandle();
    m_panelHadFocus = panelKeptFocus;
    if (panelWindow)
        m_panelActivation = connect(panelWindow, &QWindow::activeChanged, this, [this, panelWindow] {
            m_panelHadFocus = m_panelHadFocus || panelWindow->isActive();
        });
    m_outsideClickMonitor = connect(
        qGuiApp, &QGuiApplication::applicationStateChanged, this,
        [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive || !m_panelHadFocus)
                return;
            // Queued on this object: dropped if the delegate is gone by then.
            QMetaObject::invokeMethod(this, &AppDelegate::hideHUD, Qt::QueuedConnection);
        });

    QPointer<AppDelegate> weak(this);
    m_localKeyMonitor = std::make_unique<KeyMonitor>(
        m_hudWindow.get(), [weak](const KeyMonitor::Decision &decision) {
            if (!weak)
                return;
            // The quit or hide a key performs may end this monitor.
            const auto ifAlive = [weak](void (AppDelegate::*action)()) {
                return [weak, action] {
                    if (weak)
                        (weak.data()->*action)();
                };
            };
            decision.perform({ifAlive(&AppDelegate::quitAction), ifAlive(&AppDelegate::hideHUD),
                              weak->m_services.notifications});
        });
}

void AppDelegate::stopMonitors()
{
    if (m_outsideClickMonitor)
        disconnect(m_outsideClickMonitor);
    m_outsideClickMonitor = {};
    if (m_panelActivation)
        disconnect(m_panelActivation);
    m_panelActivation = {};
    m_localKeyMonitor.reset();
}
