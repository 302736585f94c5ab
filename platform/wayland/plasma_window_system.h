#pragma once

#include "window_system.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class WaylandConnection;
struct org_kde_plasma_window;
struct org_kde_plasma_window_management;

// The desktop's windows as KWin lists them to Plasma's task manager
// (org_kde_plasma_window_management, granted to programs whose desktop
// entry asks for it): which window is active, its app id for the terminal
// check, and activating the remembered one. Our own windows are told by
// their process id, or failing that by app id; they are hidden through Qt.
class PlasmaWindowSystem final : public WindowSystem
{
public:
    // ownAppIds: the app ids (or X11 classes, through XWayland) our own
    // windows carry, compared without case.
    PlasmaWindowSystem(std::shared_ptr<WaylandConnection> connection, QStringList ownAppIds);
    ~PlasmaWindowSystem() override;

    WindowId activeWindow() override;
    bool isOwnWindow(WindowId window) override;
    void activate(WindowId window) override;
    std::optional<WindowClass> windowClass(WindowId window) override;
    void hideOwnWindows() override;
    void requestBlurBehind(WindowId) override {}
    bool compositorActive() override { return true; }

    bool isWatching() const { return m_manager != nullptr; }

private:
    friend struct PlasmaWindowEvents;
    struct Window;
    void add(org_kde_plasma_window *handle);
    Window *find(WindowId window);
    void forget(WindowId window);
    void release(org_kde_plasma_window *handle) const;

    std::shared_ptr<WaylandConnection> m_connection;
    QStringList m_ownAppIds;
    org_kde_plasma_window_management *m_manager = nullptr;
    uint32_t m_version = 0;
    std::map<WindowId, std::unique_ptr<Window>> m_windows;
    WindowId m_nextId = 1;
};
