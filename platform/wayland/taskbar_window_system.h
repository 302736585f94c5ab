#pragma once

#include "window_system.h"

#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class WaylandConnection;

// What the compositors' taskbar protocols have in common: the windows they
// list, under ids of ours, which one is active, and their app ids. A
// subclass binds its protocol and adds a record per window it hears of;
// a record releases its protocol handle when it goes. Our own windows are
// hidden through Qt.
class TaskbarWindowSystem : public WindowSystem
{
public:
    ~TaskbarWindowSystem() override;

    WindowId activeWindow() override;
    std::optional<WindowClass> windowClass(WindowId window) override;
    void hideOwnWindows() override;
    void prepareBuffer(QBackingStore &store, const QSize &size) override;
    void requestBlurBehind(WindowId) override {}
    // Every Wayland compositor draws translucent windows over what lies behind.
    bool compositorActive() override { return true; }

protected:
    struct Window
    {
        virtual ~Window() = default;
        WindowId id = 0;
        QString appId;
        bool active = false;
    };

    // ownAppIds: the app ids (or X11 classes, through XWayland) our own
    // windows carry, compared without case.
    TaskbarWindowSystem(std::shared_ptr<WaylandConnection> connection, QStringList ownAppIds);

    // Takes a window the compositor announced and gives it the next id.
    Window &add(std::unique_ptr<Window> window);
    Window *find(WindowId window);
    // The window is gone: its record and handle with it.
    void forget(WindowId window);
    // Releases every record, before the subclass lets its manager go.
    void forgetAll() { m_windows.clear(); }
    bool hasOwnAppId(const Window &window) const;

    const std::shared_ptr<WaylandConnection> m_connection;

private:
    QStringList m_ownAppIds;
    std::map<WindowId, std::unique_ptr<Window>> m_windows;
    WindowId m_nextId = 1;
};
