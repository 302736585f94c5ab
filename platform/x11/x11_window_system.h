#pragma once

#include "window_system.h"
#include "x11/x11_connection.h"

#include <map>
#include <memory>

// Windows as the EWMH window manager sees them: _NET_ACTIVE_WINDOW for the
// active one, and the same message a pager sends to activate one.
class X11WindowSystem final : public WindowSystem
{
public:
    explicit X11WindowSystem(std::shared_ptr<X11Connection> connection);
    ~X11WindowSystem() override;

    WindowId activeWindow() override;
    bool isOwnWindow(WindowId window) override;
    void activate(WindowId window) override;
    std::optional<WindowClass> windowClass(WindowId window) override;
    void hideOwnWindows() override;
    void requestBlurBehind(WindowId window) override;
    bool compositorActive() override;
    // KWin announces the blur it draws by a root window property of the
    // request's own name.
    bool blursBehind() override;
    // KWin's _KDE_NET_WM_SHADOW: one 32-bit pixmap per tile, kept for as
    // long as this object lives, since the compositor reads them again.
    void requestShadow(WindowId window, const Shadow &shadow) override;
    // _NET_WM_DESKTOP 0xFFFFFFFF and the sticky state: as properties on a
    // window not yet mapped, as requests to the window manager on one shown.
    void showOnAllDesktops(WindowId window) override;
    // Qt draws an X window from a shared-memory image that it makes at the
    // first paint and keeps while the window is hidden.
    void prepareBuffer(QBackingStore &store, const QSize &size) override;

private:
    class Pixmaps;
    // Interned together at construction: one round trip, none at a show.
    struct Atoms
    {
        X11Connection::XID activeWindow = 0, pid = 0, desktop = 0, state = 0, sticky = 0,
                           blurRegion = 0, shadow = 0, compositorSelection = 0;
    };
    std::shared_ptr<X11Connection> m_connection;
    Atoms m_atoms;
    std::map<WindowId, std::unique_ptr<Pixmaps>> m_shadows;
};
