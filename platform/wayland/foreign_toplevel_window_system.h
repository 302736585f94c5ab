#pragma once

#include "wayland/taskbar_window_system.h"

struct zwlr_foreign_toplevel_handle_v1;
struct zwlr_foreign_toplevel_manager_v1;

// The desktop's windows as the compositor lists them to a taskbar
// (wlroots compositors, Hyprland): which toplevel is active, its app id for
// the terminal check, and activating the remembered one. Our own windows
// are told by their app id, since the protocol names no process.
class ForeignToplevelWindowSystem final : public TaskbarWindowSystem
{
public:
    ForeignToplevelWindowSystem(std::shared_ptr<WaylandConnection> connection, QStringList ownAppIds);
    ~ForeignToplevelWindowSystem() override;

    bool isOwnWindow(WindowId window) override;
    void activate(WindowId window) override;

    bool isWatching() const { return m_manager != nullptr; }

private:
    friend struct ForeignToplevelEvents;
    struct Toplevel;
    static void onToplevel(void *data, zwlr_foreign_toplevel_manager_v1 *, zwlr_foreign_toplevel_handle_v1 *handle);
    static void onFinished(void *data, zwlr_foreign_toplevel_manager_v1 *);

    zwlr_foreign_toplevel_manager_v1 *m_manager = nullptr;
};
