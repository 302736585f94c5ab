#pragma once

#include <QImage>
#include <QMargins>
#include <QSize>
#include <QString>

#include <array>
#include <optional>

class QBackingStore;

// The desktop's windows as the shell needs them, in two parts: focus (which
// window is active and of what class, to give the focus back after the panel
// hides and to pick the paste stroke) and the panel's decoration (blur,
// shadow, every desktop, whether a compositor draws translucency). One
// interface, since every backend serves both from one connection.
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

    // A drop shadow drawn outside a window: eight tiles clockwise from the
    // top edge (top, top-right, right, bottom-right, bottom, bottom-left,
    // left, top-left) and how far the shadow reaches past each edge.
    struct Shadow
    {
        std::array<QImage, 8> tiles;
        QMargins reach;
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
    // Asks the compositor to draw the shadow around the window, where it
    // takes one from programs; elsewhere nothing happens (compositors that
    // draw shadows of their own follow the window's shape).
    virtual void requestShadow(WindowId window, const Shadow &shadow)
    {
        (void)window;
        (void)shadow;
    }
    // Makes the buffer a window of `size` is drawn from before it is first
    // shown, where that buffer lasts while the window is hidden; elsewhere
    // nothing happens.
    virtual void prepareBuffer(QBackingStore &store, const QSize &size)
    {
        (void)store;
        (void)size;
    }
    // Asks for the window to show on every virtual desktop. Call it before
    // each show: window managers forget it when the window is hidden.
    // Desktops without virtual desktops ignore it.
    virtual void showOnAllDesktops(WindowId window) { (void)window; }
    // Whether a compositor draws translucent windows over what lies behind
    // them; without one their transparent parts show up black.
    virtual bool compositorActive() = 0;
    // Whether the compositor is known to honour requestBlurBehind(); most
    // ignore it silently, and a translucent window then shows plainly what
    // lies behind it.
    virtual bool blursBehind() { return false; }

protected:
    // Writes the store's buffer once, in place, so that its pages exist
    // before the first show. Never a copy: the store paints into this very
    // image, and a copy would only cost memory.
    static void writeBuffer(QBackingStore &store);
};
