#pragma once

#include "window_system.h"
#include "x11/x11_connection.h"

#include <memory>

// Windows as the EWMH window manager sees them: _NET_ACTIVE_WINDOW for the
// active one, and the same message a pager sends to activate one.
class X11WindowSystem final : public WindowSystem
{
public:
    explicit X11WindowSystem(std::shared_ptr<X11Connection> connection);

    WindowId activeWindow() override;
    bool isOwnWindow(WindowId window) override;
    void activate(WindowId window) override;
    std::optional<WindowClass> windowClass(WindowId window) override;
    void hideOwnWindows() override;
    void requestBlurBehind(WindowId window) override;
    bool compositorActive() override;

private:
    std::shared_ptr<X11Connection> m_connection;
};
