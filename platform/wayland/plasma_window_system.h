#pragma once

#include "wayland/taskbar_window_system.h"

struct org_kde_plasma_window;
struct org_kde_plasma_window_management;

// The desktop's windows as KWin lists them to Plasma's task manager
// (org_kde_plasma_window_management, granted to programs whose desktop
// entry asks for it): which window is active, its app id for the terminal
// check, and activating the remembered one. Our own windows are told by
// their process id, or failing that by app id.
class PlasmaWindowSystem final : public TaskbarWindowSystem
{
public:
    PlasmaWindowSystem(std::shared_ptr<WaylandConnection> connection, QStringList ownAppIds);
    ~PlasmaWindowSystem() override;

    bool isOwnWindow(WindowId window) override;
    void activate(WindowId window) override;

    bool isWatching() const { return m_manager != nullptr; }

private:
    friend struct PlasmaWindowEvents;
    struct PlasmaWindow;
    void add(org_kde_plasma_window *handle);

    org_kde_plasma_window_management *m_manager = nullptr;
    uint32_t m_version = 0;
};
