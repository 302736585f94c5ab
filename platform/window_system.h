#pragma once

#include <QString>

#include <optional>

// The desktop's windows as the shell needs them: which one is active, to
// give the focus back to it after the panel hides.
class WindowSystem
{
public:
    // A native window id; 0 means none.
    using WindowId = quint64;

    struct WindowClass
    {
        QString instanceName;
        QString className;
        bool operator==(const WindowClass &) const = default;
    };

    virtual ~WindowSystem() = default;

    // The window that receives key input now, or 0.
    virtual WindowId activeWindow() = 0;
    // Whether the window is one of this process's own.
    virtual bool isOwnWindow(WindowId window) = 0;
    // Asks the window manager to give the window the focus; 0 does nothing.
    virtual void activate(WindowId window) = 0;
    virtual std::optional<WindowClass> windowClass(WindowId window) = 0;
    // Hides every top-level window of this process.
    virtual void hideOwnWindows() = 0;
    // Asks the compositor to blur what lies behind the window, where it
    // offers that; elsewhere the window simply stays translucent.
    virtual void requestBlurBehind(WindowId window) = 0;
    // Whether a compositor draws translucent windows over what lies behind
    // them; without one their transparent parts show up black.
    virtual bool compositorActive() = 0;
};
