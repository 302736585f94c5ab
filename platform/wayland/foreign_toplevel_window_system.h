#pragma once

#include "window_system.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class WaylandConnection;
struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;

// The desktop's windows as the compositor lists them to a taskbar
// (wlroots compositors, Hyprland): which toplevel is active, its app id for
// the terminal check, and activating the remembered one. Our own windows
// are told by their app id, since the protocol names no process; they are
// hidden through Qt.
class ForeignToplevelWindowSystem final : public WindowSystem
{
public:
    // ownAppIds: the app ids (or X11 classes, through XWayland) our own
    // windows carry, compared without case.
    ForeignToplevelWindowSystem(std::shared_ptr<WaylandConnection> connection, QStringList ownAppIds);
    ~ForeignToplevelWindowSystem() override;

    WindowId activeWindow() override;
    bool isOwnWindow(WindowId window) override;
    void activate(WindowId window) override;
    std::optional<WindowClass> windowClass(WindowId window) override;
    void hideOwnWindows() override;
    void requestBlurBehind(WindowId) override {}
    // Every Wayland compositor draws translucent windows over what lies behind.
    bool compositorActive() override { return true; }

    bool isWatching() const { return m_manager != nullptr; }

private:
    friend struct ForeignToplevelEvents;
    struct Toplevel;
    static void onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *, zwlr_foreign_toplevel_handle_v1 *handle);
    static void onFinished(void *data, zwlr_foreign_toplevel_manager_v1 *);
    Toplevel *find(WindowId window);
    void forget(WindowId window);

    std::shared_ptr<WaylandConnection> m_connection;
    QStringList m_ownAppIds;
    zwlr_foreign_toplevel_manager_v1 *m_manager = nullptr;
    std::map<WindowId, std::unique_ptr<Toplevel>> m_toplevels;
    WindowId m_nextId = 1;
};
