#pragma once

#include "window_system.h"

#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QUrl>

#include <functional>
#include <memory>

class ClipboardManager;
class HUDPanel;
class HotKeyManager;
class KeyMonitor;
class PanelNotifications;
class QMenu;

// The application's delegate: starts the watcher, the tray icon and the hot
// key, and shows, hides and toggles the panel, giving the focus back to the
// window that had it before.
class AppDelegate : public QObject
{
    Q_OBJECT
public:
    struct Services
    {
        ClipboardManager &clipboardManager;
        WindowSystem &windowSystem;
        HotKeyManager &hotKeyManager;
        PanelNotifications &notifications;
        // Makes the panel's view around its dismiss action; called once, on
        // the first show.
        std::function<QWidget *(std::function<void()> onDismiss)> makePanelView;
        std::function<void(const QUrl &)> openUrl;
        std::function<void()> quit;
        // Whether to put an icon in the tray; without one the program still
        // answers the hot key and the command line.
        bool useTray = true;
    };

    explicit AppDelegate(Services services, QObject *parent = nullptr);
    ~AppDelegate() override;

    // Start-up, once the event loop is about to run.
    void applicationDidFinishLaunching();

    void showHUD();
    void hideHUD();
    void toggleHUD();

    void statusItemClicked(QSystemTrayIcon::ActivationReason reason);
    void clearHistoryAction();
    void openWebsiteAction();
    void quitAction();

    // The tray menu, made anew for each click (the caller owns it).
    QMenu *buildStatusMenu(QWidget *parent = nullptr);

    HUDPanel *hudWindow() const { return m_hudWindow.get(); }
    QSystemTrayIcon *statusItem() const { return m_statusItem; }
    WindowSystem::WindowId previousApp() const { return m_previousApp; }
    bool isHUDVisible() const;
    bool hasKeyMonitor() const { return m_localKeyMonitor != nullptr; }
    bool hasOutsideClickMonitor() const { return bool(m_outsideClickMonitor); }

protected:
    // Follows a palette change (a theme switched at run time) in the tray.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // panelKeptFocus: shown again while shown and focused.
    void startMonitors(bool panelKeptFocus);
    void stopMonitors();
    void createStatusItem();
    void popUpStatusMenu();
    HUDPanel &ensureHUDWindow();
    // What the first show would otherwise do itself, made ahead while the
    // program waits for its first key.
    enum class PrepareStep { Build, Shadow, Paint };
    void prepareHUD(PrepareStep step);
    void whenIdle(std::function<void()> work);
    void updateShadow(HUDPanel &panel);
    void handleHotKey();

    Services m_services;
    QSystemTrayIcon *m_statusItem = nullptr;
    std::unique_ptr<HUDPanel> m_hudWindow;
    WindowSystem::WindowId m_previousApp = 0;
    QMetaObject::Connection m_outsideClickMonitor;
    QMetaObject::Connection m_panelActivation;
    bool m_panelHadFocus = false;
    qreal m_shadowRatio = 0; // of the shadow last handed over
    std::unique_ptr<KeyMonitor> m_localKeyMonitor;
};
